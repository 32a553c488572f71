#include "config/PortOpenSettings.h"

#include <algorithm>
#include <array>

namespace quorvel {
namespace {

constexpr std::array<std::uint32_t, 14> kBaudRates{
    110, 300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400, 460800, 921600};
constexpr std::array<DataBits, 4> kDataBits{DataBits::Five, DataBits::Six, DataBits::Seven,
                                            DataBits::Eight};
constexpr std::array<Parity, 5> kParities{Parity::Odd, Parity::Even, Parity::Mark, Parity::Space,
                                          Parity::None};

// A table entry for an index; an index outside the table takes the entry the
// defaults use.
template <typename T, std::size_t N>
T Lookup(const std::array<T, N>& table, std::int32_t index, std::size_t fallback) {
    if (index < 0 || static_cast<std::size_t>(index) >= N) {
        return table[fallback];
    }
    return table[static_cast<std::size_t>(index)];
}

StopBits StopBitsFor(const PortRegistry& record) {
    if (record.nStopBits != 1) {
        return StopBits::One;
    }
    return record.nDataBits == 0 ? StopBits::OnePointFive : StopBits::Two;
}

FlowControl FlowControlFor(std::int32_t flowCtrl) {
    switch (flowCtrl) {
        case 0:
            return FlowControl::Hardware;
        case 1:
            return FlowControl::Software;
        default:
            return FlowControl::None;
    }
}

std::uint8_t FlowCodeFor(FlowControl flow) {
    switch (flow) {
        case FlowControl::Hardware:
            return kFlowHardware;
        case FlowControl::Software:
            return kFlowSoftware;
        case FlowControl::None:
            break;
    }
    return kFlowNone;
}

// An out-of-list index never reaches the table: it gives no hysteresis.
std::uint8_t HysteresisFor(std::int32_t index) {
    if (index < 0 || index >= static_cast<std::int32_t>(kHysteresisValues.size())) {
        return 0;
    }
    return kHysteresisValues[static_cast<std::size_t>(index)];
}

std::uint8_t ClampedByte(std::int32_t value, std::int32_t low, std::int32_t high) {
    return static_cast<std::uint8_t>(std::clamp(value, low, high));
}

}  // namespace

LineSettings LineSettingsOf(const PortRegistry& record) {
    LineSettings settings;
    settings.baudRate = Lookup(kBaudRates, record.nBaud, 6);
    settings.dataBits = Lookup(kDataBits, record.nDataBits, 3);
    settings.parity = Lookup(kParities, record.nParity, 4);
    settings.stopBits = StopBitsFor(record);
    settings.flowControl = FlowControlFor(record.nFlowCtrl);
    settings.dtrOn = true;
    return settings;
}

PortConfigRequest BuildPortConfigRequest(const PortRegistry& record) {
    PortConfigRequest request;
    request.bytes[0] = FlowCodeFor(FlowControlFor(record.nFlowCtrl));
    request.bytes[1] = ClampedByte(record.nTxTrig, 0, 63);
    request.bytes[2] = record.nRxTrig >= 63 ? 63 : ClampedByte(record.nRxTrig + 1, 1, 63);
    request.bytes[3] = HysteresisFor(record.nDTR != 0 ? record.nDTRHys : record.nRTSHys);
    request.bytes[4] = 0x00;
    request.bytes[5] = record.nRS485 != 0 ? kRs485On : 0x00;
    return request;
}

std::optional<std::int32_t> BaudIndexOf(std::uint32_t rate) {
    const auto found = std::find(kBaudRates.begin(), kBaudRates.end(), rate);
    if (found == kBaudRates.end()) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(found - kBaudRates.begin());
}

double LineCharactersPerSecond(const PortRegistry& record) {
    const LineSettings settings = LineSettingsOf(record);
    return static_cast<double>(settings.baudRate) /
           BitsPerCharacter(settings.dataBits, settings.parity, settings.stopBits);
}

}  // namespace quorvel
