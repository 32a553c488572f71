#include "serial/LineSettings.h"

#include <array>

namespace quorvel {
namespace {

constexpr std::array<std::uint32_t, 14> kBaudRates{
    110, 300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400, 460800, 921600};
constexpr std::array<std::uint8_t, 4> kByteSizes{5, 6, 7, 8};
constexpr std::array<std::uint8_t, 5> kParities{
    line::kOddParity, line::kEvenParity, line::kMarkParity, line::kSpaceParity, line::kNoParity};

// A table entry for an index; an index outside the table (which the record
// loaders never let through) takes the entry the defaults use.
template <typename T, std::size_t N>
T Lookup(const std::array<T, N>& table, std::int32_t index, std::size_t fallback) {
    if (index < 0 || static_cast<std::size_t>(index) >= N) {
        return table[fallback];
    }
    return table[static_cast<std::size_t>(index)];
}

std::uint8_t StopBitsFor(const PortRegistry& record) {
    if (record.nStopBits != 1) {
        return line::kOneStopBit;
    }
    return record.nDataBits == 0 ? line::kOne5StopBits : line::kTwoStopBits;
}

void ApplyFlowControl(std::int32_t flowCtrl, LineState& state) {
    switch (flowCtrl) {
        case 0:  // Hardware
            state.fOutxCtsFlow = 1;
            state.fOutxDsrFlow = 1;
            state.fRtsControl = line::kRtsControlHandshake;
            state.fOutX = 0;
            state.fInX = 0;
            break;
        case 1:  // Software
            state.fOutxCtsFlow = 0;
            state.fOutxDsrFlow = 0;
            state.fRtsControl = line::kRtsControlEnable;
            state.fOutX = 1;
            state.fInX = 1;
            state.fTXContinueOnXoff = 1;
            break;
        default:  // None
            state.fOutxCtsFlow = 0;
            state.fOutxDsrFlow = 0;
            state.fRtsControl = line::kRtsControlEnable;
            state.fOutX = 0;
            state.fInX = 0;
            break;
    }
}

}  // namespace

CommTimeouts PortOpenTimeouts() {
    CommTimeouts t;
    t.ReadIntervalTimeout = 0;
    t.ReadTotalTimeoutMultiplier = 25;
    t.ReadTotalTimeoutConstant = 1000;
    t.WriteTotalTimeoutMultiplier = 10;
    t.WriteTotalTimeoutConstant = 1000;
    return t;
}

void ApplyRecordToLineState(const PortRegistry& record, LineState& state) {
    state.BaudRate = Lookup(kBaudRates, record.nBaud, 6);
    state.ByteSize = Lookup(kByteSizes, record.nDataBits, 3);
    state.Parity = Lookup(kParities, record.nParity, 4);
    state.StopBits = StopBitsFor(record);
    state.fDtrControl = line::kDtrControlEnable;
    ApplyFlowControl(record.nFlowCtrl, state);
    state.fBinary = 1;
}

std::optional<std::int32_t> BaudIndexOf(std::uint32_t rate) {
    for (std::size_t i = 0; i < kBaudRates.size(); ++i) {
        if (kBaudRates[i] == rate) {
            return static_cast<std::int32_t>(i);
        }
    }
    return std::nullopt;
}

double LineCharactersPerSecond(const PortRegistry& record) {
    LineState state;
    ApplyRecordToLineState(record, state);
    const double stop = state.StopBits == line::kOneStopBit     ? 1.0
                        : state.StopBits == line::kOne5StopBits ? 1.5
                                                                : 2.0;
    const double bits = 1.0 + state.ByteSize + (state.Parity != line::kNoParity ? 1.0 : 0.0) + stop;
    return static_cast<double>(state.BaudRate) / bits;
}

}  // namespace quorvel
