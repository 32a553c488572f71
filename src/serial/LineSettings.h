#pragma once

#include <cstdint>
#include <optional>

#include "config/PortRegistry.h"
#include "serial/LineState.h"

namespace quorvel {

// The time-outs every port is opened with.
CommTimeouts PortOpenTimeouts();

// Puts a record's line settings into `state`: baud rate, data length, parity,
// stop bits, DTR enabled, the flow-control members of the record's mode and
// binary mode. Every other member keeps the value it had (as read from the
// port). Stop bits index 1 is 1.5 stop bits with five data bits and 2 stop bits
// otherwise, which is what the settings sheet shows for it.
void ApplyRecordToLineState(const PortRegistry& record, LineState& state);

// The index of a line rate in the settings' baud list; nothing when the list
// has no such rate.
std::optional<std::int32_t> BaudIndexOf(std::uint32_t rate);

// Characters a second a port with `record`'s line settings carries at most:
// its baud rate over the bits of one character (start, data, parity, stop).
double LineCharactersPerSecond(const PortRegistry& record);

}  // namespace quorvel
