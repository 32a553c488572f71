// The UART framing model of the simulated card: how long a character keeps
// the line busy, and what a receiver with other line settings makes of a
// character by sampling the sender's line at its own bit times.
#include "card/UartFrame.h"

#include <algorithm>
#include <cmath>

#include "serial/LineState.h"

namespace quorvel {
namespace {

bool ParityBitOf(std::uint8_t data, int dataBits, std::uint8_t parity) {
    int ones = 0;
    for (int i = 0; i < dataBits; ++i) {
        ones += (data >> i) & 1;
    }
    switch (parity) {
        case line::kOddParity:
            return ones % 2 == 0;
        case line::kEvenParity:
            return ones % 2 == 1;
        case line::kMarkParity:
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
    if (bit <= tx.dataBits) {
        return ((data >> (bit - 1)) & 1) != 0;
    }
    if (tx.parity != line::kNoParity && bit == tx.dataBits + 1) {
        return ParityBitOf(data, tx.dataBits, tx.parity);
    }
    return true;  // stop bits, then idle
}

}  // namespace

double UartFrame::CharacterSeconds() const {
    const double stop = stopBits == line::kOneStopBit     ? 1.0
                        : stopBits == line::kOne5StopBits ? 1.5
                                                          : 2.0;
    const double bits = 1.0 + dataBits + (parity != line::kNoParity ? 1.0 : 0.0) + stop;
    return bits / std::max<std::uint32_t>(baud, 50);
}

std::uint8_t DataMask(int dataBits) {
    return static_cast<std::uint8_t>((1u << dataBits) - 1u);
}

std::uint8_t ResampleCharacter(std::uint8_t data, const UartFrame& tx, const UartFrame& rx) {
    const double bitTime = 1.0 / rx.baud;
    auto sample = [&](int bit) { return LineLevel(data, tx, (bit + 0.5) * bitTime); };
    if (sample(0)) {
        return 0;
    }
    std::uint8_t value = 0;
    for (int i = 0; i < rx.dataBits; ++i) {
        if (sample(1 + i)) {
            value = static_cast<std::uint8_t>(value | (1u << i));
        }
    }
    int next = 1 + rx.dataBits;
    if (rx.parity != line::kNoParity) {
        if (sample(next) != ParityBitOf(value, rx.dataBits, rx.parity)) {
            return 0;
        }
        ++next;
    }
    return sample(next) ? value : 0;
}

}  // namespace quorvel
