#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace quorvel {

// The two requests private to the card's driver, with their exact layouts.

// IOCTL_PORT_CONFIG: device type 0x8005, function 0x807, METHOD_BUFFERED,
// FILE_ANY_ACCESS. Six bytes in, nothing out.
inline constexpr std::uint32_t kIoctlPortConfig = 0x8005201C;
// IOCTL_LOOPBACK: device type 0x8005, function 0x808. Five bytes in, nothing out.
inline constexpr std::uint32_t kIoctlLoopback = 0x80052020;

// Flow-control codes of the configuration request's byte 0.
inline constexpr std::uint8_t kFlowSoftware = 0xF0;
inline constexpr std::uint8_t kFlowHardware = 0xF1;
inline constexpr std::uint8_t kFlowNone = 0xF2;

inline constexpr std::uint8_t kRs485On = 0x20;
inline constexpr std::uint8_t kLoopbackOn = 0x10;

// The hysteresis values the records' hysteresis indexes stand for.
inline constexpr std::array<std::uint8_t, 5> kHysteresisValues{0, 4, 6, 8, 16};

struct PortConfigRequest {
    std::array<std::uint8_t, 6> bytes{};

    std::uint8_t FlowCode() const { return bytes[0]; }
    std::uint8_t TxTrigger() const { return bytes[1]; }
    std::uint8_t RxTrigger() const { return bytes[2]; }
    std::uint8_t Hysteresis() const { return bytes[3]; }
    bool Rs485() const { return bytes[5] == kRs485On; }

    bool operator==(const PortConfigRequest&) const = default;
};

struct LoopbackRequest {
    std::array<std::uint8_t, 5> bytes{};

    std::uint8_t PortSelector() const { return bytes[0]; }
    bool On() const { return bytes[1] == kLoopbackOn; }

    bool operator==(const LoopbackRequest&) const = default;
};

// The loopback request for port 0-7: 0x10 x port + 4, on/off, 0xEF 0x55 0x01.
LoopbackRequest BuildLoopbackRequest(int port, bool on);

// The request in `data` when it is exactly the layout of `code`'s request and
// every byte holds a value the card knows; nothing otherwise. A driver answers
// failure to anything else. RS485 is not checked here: which ports have it is
// the card's business.
std::optional<PortConfigRequest> ParsePortConfigRequest(std::uint32_t code,
                                                        const std::uint8_t* data, std::size_t size);
std::optional<LoopbackRequest> ParseLoopbackRequest(std::uint32_t code, const std::uint8_t* data,
                                                    std::size_t size);

}  // namespace quorvel
