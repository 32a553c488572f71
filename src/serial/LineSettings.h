#pragma once

#include <cstdint>

namespace quorvel {

// A port's line settings as the port-open code asks for them, the same on
// every platform. Each backend maps them to its own: the Win32 DCB, termios.

enum class DataBits : std::uint8_t { Five = 5, Six = 6, Seven = 7, Eight = 8 };
enum class Parity : std::uint8_t { None, Odd, Even, Mark, Space };
// One and a half stop bits go only with five data bits; a UART sends them
// where two are asked for with five.
enum class StopBits : std::uint8_t { One, OnePointFive, Two };
// Hardware: CTS/RTS (and DSR) handshaking; Software: XON/XOFF both ways.
enum class FlowControl : std::uint8_t { None, Hardware, Software };

struct LineSettings {
    std::uint32_t baudRate = 9600;  // bits a second
    DataBits dataBits = DataBits::Eight;
    Parity parity = Parity::None;
    StopBits stopBits = StopBits::One;
    FlowControl flowControl = FlowControl::None;
    bool dtrOn = true;  // DTR raised while the port is open

    bool operator==(const LineSettings&) const = default;
};

constexpr int BitCount(DataBits bits) {
    return static_cast<int>(bits);
}

// The bit times one character keeps the line busy: start, data, parity, stop.
constexpr double BitsPerCharacter(DataBits data, Parity parity, StopBits stop) {
    const double stopBits = stop == StopBits::One            ? 1.0
                            : stop == StopBits::OnePointFive ? 1.5
                                                             : 2.0;
    return 1.0 + BitCount(data) + (parity != Parity::None ? 1.0 : 0.0) + stopBits;
}

}  // namespace quorvel
