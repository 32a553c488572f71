// A Windows desktop always has a display.
#include "app/DisplayCheck.h"

namespace quorvel {

std::string NoDisplayMessage(const std::vector<std::string>& /*args*/) {
    return {};
}

}  // namespace quorvel
