#pragma once

#include <cstdint>

namespace quorvel {

// A port's modem lines as they stand: the four it receives and the two it
// drives. True is asserted.
struct ModemLines {
    bool cts = false;  // clear to send
    bool dsr = false;  // data set ready
    bool dcd = false;  // data carrier detect (RLSD on Windows)
    bool ri = false;   // ring indicator
    bool dtr = false;  // data terminal ready: the port's own
    bool rts = false;  // request to send: the port's own

    bool operator==(const ModemLines&) const = default;
};

// The two lines a port drives.
enum class OutputLine : std::uint8_t { Dtr, Rts };

// What a port's UART has counted: the changes of its input lines, and the
// faults of what it received. A backend answers them counted from the port's
// open.
struct LineCounts {
    std::uint64_t ctsChanges = 0;
    std::uint64_t dsrChanges = 0;
    std::uint64_t dcdChanges = 0;
    std::uint64_t riChanges = 0;
    std::uint64_t framing = 0;        // characters whose stop bit was missing
    std::uint64_t parity = 0;         // characters whose parity bit did not match
    std::uint64_t overrun = 0;        // characters the UART's FIFO had no room for
    std::uint64_t bufferOverrun = 0;  // characters the driver's receive queue had no room for
    std::uint64_t breaks = 0;         // break conditions on the line

    // The line errors: everything but the changes of the input lines.
    std::uint64_t Errors() const { return framing + parity + overrun + bufferOverrun + breaks; }
    // What was counted after `earlier`; a count that went back (a device
    // whose counts began again) counts from 0.
    LineCounts Since(const LineCounts& earlier) const;

    bool operator==(const LineCounts&) const = default;
};

// Communication event mask bits, as Windows numbers them: a character
// arrived, an input line changed, a break, a line error.
inline constexpr std::uint32_t kEvRxChar = 0x0001;
inline constexpr std::uint32_t kEvCts = 0x0008;
inline constexpr std::uint32_t kEvDsr = 0x0010;
inline constexpr std::uint32_t kEvRlsd = 0x0020;
inline constexpr std::uint32_t kEvBreak = 0x0040;
inline constexpr std::uint32_t kEvErr = 0x0080;
inline constexpr std::uint32_t kEvRing = 0x0100;
// Every event of the modem lines and the line's faults.
inline constexpr std::uint32_t kEvLines = kEvCts | kEvDsr | kEvRlsd | kEvBreak | kEvErr | kEvRing;

// The events that lead from one look at a port's lines and counts to the
// next: an input line that stands otherwise or was counted changing, a break
// counted, a line error counted.
std::uint32_t LineEventsBetween(const ModemLines& before, const LineCounts& countsBefore,
                                const ModemLines& after, const LineCounts& countsAfter);

}  // namespace quorvel
