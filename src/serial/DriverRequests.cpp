#include "serial/DriverRequests.h"

#include <algorithm>

namespace quorvel {

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
