// Neutral line settings on a POSIX tty: what they put into its termios and
// what they read back from it. Private to the POSIX backend's files.
#pragma once

#include <termios.h>

#include "serial/LineSettings.h"

namespace quorvel::posix {

// Puts `settings` into `tio` in raw mode with the receiver on and modem
// control lines ignored: rate, data bits, parity, stop bits and flow control.
// Parity checking (INPCK) is switched off without parity and otherwise kept
// as read. False when the rate has no termios speed; 9600 is put instead.
bool ApplyLineSettings(const LineSettings& settings, termios& tio);

// The settings `tio` holds. DTR is not in termios: `dtrOn` is left true.
LineSettings ReadLineSettings(const termios& tio);

}  // namespace quorvel::posix
