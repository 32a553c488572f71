// Neutral line settings in the Win32 DCB: the members the settings govern and
// what they read back from a DCB. Private to the Win32 backend's files (and
// its tests).
#pragma once

#include "serial/LineSettings.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace quorvel::win32 {

// A DCB ready for GetCommState: its length set and every other byte 0.
DCB EmptyDcb();

// Puts `settings` into `dcb`, a DCB as read from the port: BaudRate,
// ByteSize, Parity, StopBits, fDtrControl, binary mode and the flow-control
// members of the mode (Hardware: CTS and DSR output flow, RTS handshake, no
// XON/XOFF; Software: XON/XOFF both ways, transmit continuing on XOFF, RTS on,
// no CTS/DSR flow; None: RTS on, neither). Every other member keeps the value
// read.
void ApplyLineSettings(const LineSettings& settings, DCB& dcb);

// The settings `dcb` holds; a value outside the DCB's lists reads as the
// neutral default for it.
LineSettings ReadLineSettings(const DCB& dcb);

}  // namespace quorvel::win32
