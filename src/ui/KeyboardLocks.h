#pragma once

#include <optional>

namespace quorvel {

// The keyboard's lock keys, as the status bar's CAP, NUM and SCRL show them.
struct KeyboardLocks {
    bool caps = false;
    bool num = false;
    bool scroll = false;

    bool operator==(const KeyboardLocks&) const = default;
};

// Asks the desktop: the key states on Windows, the keyboard's indicators on
// X11. Nothing on a desktop that does not tell (Wayland, offscreen).
std::optional<KeyboardLocks> QueryKeyboardLocks();

}  // namespace quorvel
