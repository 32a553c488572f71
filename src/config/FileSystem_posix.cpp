// File-system behaviour of a POSIX system.
#include <system_error>

#include "config/FileSystem.h"

namespace quorvel {

bool MoveIntoPlace(const std::filesystem::path& from, const std::filesystem::path& to,
                   std::string* why) {
    std::error_code error;
    std::filesystem::rename(from, to, error);
    if (error && why != nullptr) {
        *why = error.message();
    }
    return !error;
}

bool SamePath(const std::string& a, const std::string& b) {
    return a == b;
}

}  // namespace quorvel
