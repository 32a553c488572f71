#pragma once

#include <cstdint>

#include "serial/LineSettings.h"

namespace quorvel {

// The line settings a port's UART runs with, as the program configured it.
struct UartFrame {
    std::uint32_t baud = 9600;
    DataBits dataBits = DataBits::Eight;
    Parity parity = Parity::None;
    StopBits stopBits = StopBits::One;

    // Seconds the line is busy with one character: start, data, parity, stop.
    double CharacterSeconds() const;
    bool operator==(const UartFrame&) const = default;
};

// The data bits of a character sent with `dataBits` bits (the rest are never
// on the line).
std::uint8_t DataMask(DataBits dataBits);

// The faults a receiving UART finds in a character.
enum class UartError : std::uint8_t {
    None,
    Framing,  // no start bit where one began, or no stop bit where one belongs
    Parity,   // the parity bit does not match
};

// What a receiver with frame `rx` reads of one character sent with frame `tx`:
// it samples the middle of each of its own bit times on the sender's line. A
// frame it cannot read (no start bit, wrong parity, no stop bit) gives NUL,
// as a UART's framing or parity error does, and `error` (when given) says which.
std::uint8_t ResampleCharacter(std::uint8_t data, const UartFrame& tx, const UartFrame& rx,
                               UartError* error = nullptr);

}  // namespace quorvel
