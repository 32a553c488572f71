// The lock keys on Windows: the low bit of a toggle key's state is its lock.
#include <windows.h>

#include "ui/KeyboardLocks.h"

namespace quorvel {

std::optional<KeyboardLocks> QueryKeyboardLocks() {
    auto on = [](int key) { return (GetKeyState(key) & 1) != 0; };
    return KeyboardLocks{on(VK_CAPITAL), on(VK_NUMLOCK), on(VK_SCROLL)};
}

}  // namespace quorvel
