// The UART framing model of the simulated card: how long a character keeps
// the line busy, and what a receiver with other line settings makes of a
// character by sampling the sender's line at its own bit times.
#include "card/UartFrame.h"

#include <algorithm>
#include <cmath>

namespace quorvel {
namespace {

bool ParityBitOf(std::uint8_t data, int dataBits, Parity parity) {
    int ones = 0;
    for (int i = 0; i < dataBits; ++i) {
        ones += (data >> i) & 1;
    }
    switch (parity) {
        case Parity::Odd:
            return ones % 2 == 0;
        case Parity::Even:
            return ones % 2 == 1;
        case Parity::Mark:
            return true;
        default:
            return false;  // space
    }
}

// The level of the sender's line `t` seconds after the start edge of a frame.
bool LineLevel(std::uint8_t data, const UartFrame& tx, double t) {
    const long bit = static_cast<long>(std::floor(t * tx.baud));
    if (bit <= 0) {
        return bit < 0;  // idle before, start bit at 0
    }
    const int dataBits = BitCount(tx.dataBits);
    if (bit <= dataBits) {
        return ((data >> (bit - 1)) & 1) != 0;
    }
    if (tx.parity != Parity::None && bit == dataBits + 1) {
        return ParityBitOf(data, dataBits, tx.parity);
    }
    return true;  // stop bits, then idle
}

}  // namespace

double UartFrame::CharacterSeconds() const {
    const double bits = BitsPerCharacter(dataBits, parity, stopBits);
    return bits / std::max<std::uint32_t>(baud, 50);
}

std::uint8_t DataMask(DataBits dataBits) {
    return static_cast<std::uint8_t>((1u << BitCount(dataBits)) - 1u);
}

std::uint8_t ResampleCharacter(std::uint8_t data, const UartFrame& tx, const UartFrame& rx,
                               UartError* error) {
    const double bitTime = 1.0 / rx.baud;
    auto sample = [&](int bit) { return LineLevel(data, tx, (bit + 0.5) * bitTime); };
    const auto fail = [error](UartError kind) {
        if (error != nullptr) {
            *error = kind;
        }
        return std::uint8_t{0};
    };
    fail(UartError::None);
    if (sample(0)) {
        return fail(UartError::Framing);
    }
    std::uint8_t value = 0;
    const int dataBits = BitCount(rx.dataBits);
    for (int i = 0; i < dataBits; ++i) {
        if (sample(1 + i)) {
            value = static_cast<std::uint8_t>(value | (1u << i));
        }
    }
    int next = 1 + dataBits;
    if (rx.parity != Parity::None) {
        if (sample(next) != ParityBitOf(value, dataBits, rx.parity)) {
            return fail(UartError::Parity);
        }
        ++next;
    }
    return sample(next) ? value : fail(UartError::Framing);
}

}  // namespace quorvel
