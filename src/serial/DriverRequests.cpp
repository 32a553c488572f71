#include "serial/DriverRequests.h"

#include <algorithm>

namespace quorvel {
namespace {

std::uint8_t FlowCodeFor(std::int32_t flowCtrl) {
    switch (flowCtrl) {
        case 0:
            return kFlowHardware;
        case 1:
            return kFlowSoftware;
        default:
            return kFlowNone;
    }
}

// An out-of-list index never reaches the table: it gives no hysteresis.
std::uint8_t HysteresisFor(std::int32_t index) {
    if (index < 0 || index >= static_cast<std::int32_t>(kHysteresisValues.size())) {
        return 0;
    }
    return kHysteresisValues[static_cast<std::size_t>(index)];
}

std::uint8_t Byte(std::int32_t value, std::int32_t low, std::int32_t high) {
    return static_cast<std::uint8_t>(std::clamp(value, low, high));
}

}  // namespace

PortConfigRequest BuildPortConfigRequest(const PortRegistry& record) {
    PortConfigRequest request;
    request.bytes[0] = FlowCodeFor(record.nFlowCtrl);
    request.bytes[1] = Byte(record.nTxTrig, 0, 63);
    request.bytes[2] = record.nRxTrig >= 63 ? 63 : Byte(record.nRxTrig + 1, 1, 63);
    request.bytes[3] = HysteresisFor(record.nDTR != 0 ? record.nDTRHys : record.nRTSHys);
    request.bytes[4] = 0x00;
    request.bytes[5] = record.nRS485 != 0 ? kRs485On : 0x00;
    return request;
}

LoopbackRequest BuildLoopbackRequest(int port, bool on) {
    LoopbackRequest request;
    request.bytes = {static_cast<std::uint8_t>(0x10 * port + 4),
                     static_cast<std::uint8_t>(on ? kLoopbackOn : 0x00), 0xEF, 0x55, 0x01};
    return request;
}

std::optional<PortConfigRequest> ParsePortConfigRequest(std::uint32_t code,
                                                        const std::uint8_t* data,
                                                        std::size_t size) {
    PortConfigRequest request;
    if (code != kIoctlPortConfig || data == nullptr || size != request.bytes.size()) {
        return std::nullopt;
    }
    std::copy(data, data + size, request.bytes.begin());
    const std::uint8_t flow = request.FlowCode();
    const bool knownFlow = flow == kFlowSoftware || flow == kFlowHardware || flow == kFlowNone;
    const bool knownHysteresis = std::find(kHysteresisValues.begin(), kHysteresisValues.end(),
                                           request.Hysteresis()) != kHysteresisValues.end();
    const bool valid = knownFlow && request.TxTrigger() <= 63 && request.RxTrigger() >= 1 &&
                       request.RxTrigger() <= 63 && knownHysteresis && request.bytes[4] == 0 &&
                       (request.bytes[5] == 0x00 || request.bytes[5] == kRs485On);
    if (!valid) {
        return std::nullopt;
    }
    return request;
}

std::optional<LoopbackRequest> ParseLoopbackRequest(std::uint32_t code, const std::uint8_t* data,
                                                    std::size_t size) {
    LoopbackRequest request;
    if (code != kIoctlLoopback || data == nullptr || size != request.bytes.size()) {
        return std::nullopt;
    }
    std::copy(data, data + size, request.bytes.begin());
    const std::uint8_t selector = request.PortSelector();
    const bool valid = (selector & 0x0F) == 0x04 && selector <= 0x74 &&
                       (request.bytes[1] == 0x00 || request.bytes[1] == kLoopbackOn) &&
                       request.bytes[2] == 0xEF && request.bytes[3] == 0x55 &&
                       request.bytes[4] == 0x01;
    if (!valid) {
        return std::nullopt;
    }
    return request;
}

}  // namespace quorvel
