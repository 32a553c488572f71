#pragma once

#include <cstdint>

namespace quorvel {

// A port's line state with the members and values of the Win32 DCB, so that
// the port-open code builds the same state on every platform and a backend
// maps it to its own (the Win32 DCB one to one, termios on POSIX).
struct LineState {
    std::uint32_t BaudRate = 0;
    std::uint8_t fBinary = 0;
    std::uint8_t fParity = 0;
    std::uint8_t fOutxCtsFlow = 0;
    std::uint8_t fOutxDsrFlow = 0;
    std::uint8_t fDtrControl = 0;  // DTR_CONTROL_*
    std::uint8_t fDsrSensitivity = 0;
    std::uint8_t fTXContinueOnXoff = 0;
    std::uint8_t fOutX = 0;
    std::uint8_t fInX = 0;
    std::uint8_t fErrorChar = 0;
    std::uint8_t fNull = 0;
    std::uint8_t fRtsControl = 0;  // RTS_CONTROL_*
    std::uint8_t fAbortOnError = 0;
    std::uint16_t XonLim = 0;
    std::uint16_t XoffLim = 0;
    std::uint8_t ByteSize = 0;
    std::uint8_t Parity = 0;    // the parity codes below
    std::uint8_t StopBits = 0;  // the stop-bit codes below
    char XonChar = 0;
    char XoffChar = 0;
    char ErrorChar = 0;
    char EofChar = 0;
    char EvtChar = 0;

    bool operator==(const LineState&) const = default;
};

namespace line {
inline constexpr std::uint8_t kNoParity = 0;
inline constexpr std::uint8_t kOddParity = 1;
inline constexpr std::uint8_t kEvenParity = 2;
inline constexpr std::uint8_t kMarkParity = 3;
inline constexpr std::uint8_t kSpaceParity = 4;

inline constexpr std::uint8_t kOneStopBit = 0;
inline constexpr std::uint8_t kOne5StopBits = 1;
inline constexpr std::uint8_t kTwoStopBits = 2;

inline constexpr std::uint8_t kDtrControlDisable = 0;
inline constexpr std::uint8_t kDtrControlEnable = 1;
inline constexpr std::uint8_t kDtrControlHandshake = 2;

inline constexpr std::uint8_t kRtsControlDisable = 0;
inline constexpr std::uint8_t kRtsControlEnable = 1;
inline constexpr std::uint8_t kRtsControlHandshake = 2;
inline constexpr std::uint8_t kRtsControlToggle = 3;
}  // namespace line

// The port's driver time-outs, as COMMTIMEOUTS, in milliseconds.
struct CommTimeouts {
    std::uint32_t ReadIntervalTimeout = 0;
    std::uint32_t ReadTotalTimeoutMultiplier = 0;
    std::uint32_t ReadTotalTimeoutConstant = 0;
    std::uint32_t WriteTotalTimeoutMultiplier = 0;
    std::uint32_t WriteTotalTimeoutConstant = 0;

    bool operator==(const CommTimeouts&) const = default;
};

// PurgeComm flags.
namespace purge {
inline constexpr unsigned kTxAbort = 0x0001;
inline constexpr unsigned kRxAbort = 0x0002;
inline constexpr unsigned kTxClear = 0x0004;
inline constexpr unsigned kRxClear = 0x0008;
inline constexpr unsigned kAll = kTxAbort | kRxAbort | kTxClear | kRxClear;
}  // namespace purge

// Communication event mask bits.
inline constexpr std::uint32_t kEvRxChar = 0x0001;

}  // namespace quorvel
