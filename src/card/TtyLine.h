// What a pseudo-terminal carries of a port's line settings: whatever program
// holds its slave side set them, and the card reads them on the master side.
#pragma once

#include <cstdint>
#include <optional>

namespace quorvel {

struct TtyLine {
    std::uint32_t baud = 0;       // the output rate, standard or not
    bool twoStopBits = false;     // CSTOPB: two stop bits (1.5 with five data bits)
    bool rtsCts = false;          // CRTSCTS: hardware flow control
    bool xonXoffOut = false;      // IXON: XON/XOFF on what the port sends
    bool xonXoffIn = false;       // IXOFF: XON/XOFF on what it receives
    bool reportsChanges = false;  // EXTPROC: a master in packet mode hears of every change

    bool operator==(const TtyLine&) const = default;
};

// The line settings of the tty `fd` (either side of a pty), or nothing when
// they cannot be read.
std::optional<TtyLine> ReadTtyLine(int fd);

}  // namespace quorvel
