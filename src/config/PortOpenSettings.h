#pragma once

#include <cstdint>
#include <optional>

#include "config/PortRegistry.h"
#include "serial/DriverRequests.h"
#include "serial/LineSettings.h"

namespace quorvel {

// What a port's record asks of the port when it is opened: its line settings
// and the card's configuration request. The record holds list indexes; these
// are the values they stand for.

// The record's rate, data bits, parity, stop bits and flow control, with DTR
// on. An index outside its list (which the record loaders never let through)
// gives the entry the defaults use: 9600, eight data bits, no parity. Stop
// bits index 1 is 1.5 stop bits with five data bits and 2 stop bits
// otherwise, which is what the settings sheet shows for it; any other index
// is one stop bit. Flow control 0 is Hardware, 1 Software, anything else None.
LineSettings LineSettingsOf(const PortRegistry& record);

// The configuration request for a port's record: flow code, TX trigger, RX
// trigger (index + 1), the hysteresis of the DTR or RTS choice, 0, RS485 flag.
PortConfigRequest BuildPortConfigRequest(const PortRegistry& record);

// The index of a line rate in the settings' baud list; nothing when the list
// has no such rate.
std::optional<std::int32_t> BaudIndexOf(std::uint32_t rate);

// Characters a second a port with `record`'s line settings carries at most:
// its baud rate over the bits of one character (start, data, parity, stop).
double LineCharactersPerSecond(const PortRegistry& record);

}  // namespace quorvel
