// The inside of the simulated card, shared by its files: one port's state and
// the driver through which a port opened on the card reaches it. Not for use
// outside the card.
#pragma once

#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>

#include "card/SimulatedCard.h"

namespace quorvel {

// The tag of the card thread's wake-up in its wait set; ports are tagged 0-7.
inline constexpr std::uint32_t kCardWakeTag = 0xFFFFFFFF;

struct SimulatedCard::Link {
    std::mutex mutex;
    SimulatedCard* card = nullptr;  // guarded by mutex; null once the card is gone
};

// The driver a port opened on the card talks to.
class SimulatedCard::PortDriver final : public DriverRequestHandler {
  public:
    PortDriver(std::shared_ptr<Link> link, int port) : m_link(std::move(link)), m_port(port) {}

    bool HandleRequest(const DriverPort&, std::uint32_t code, const std::uint8_t* data,
                       std::size_t size) override {
        std::lock_guard lock(m_link->mutex);
        return m_link->card != nullptr && m_link->card->HandleRequest(m_port, code, data, size);
    }

    void LineStateApplied(const LineState& state) override {
        std::lock_guard lock(m_link->mutex);
        if (m_link->card != nullptr) {
            m_link->card->LineStateApplied(m_port, state);
        }
    }

  private:
    std::shared_ptr<Link> m_link;
    int m_port;
};

// One port of the card. Guarded by the card's mutex.
struct SimulatedCard::Port {
    int master = -1;  // the card's side of the pty
    int slave = -1;   // held by the card so the tty never hangs up between users
    std::string path;
    bool plugged = false;

    PortWiring wiring = PortWiring::Plug;
    int partner = -1;
    bool stalled = false;

    double bitErrorRate = 0.0;
    std::mt19937 random{0x5EED};

    UartFrame frame;
    std::optional<PortConfigRequest> config;
    bool loopback = false;

    // Pacing: characters the line may carry now, and when that was reckoned.
    double credit = 0.0;
    double reckoned = 0.0;
    bool idle = true;    // nothing was waiting when last looked
    bool armed = false;  // the card thread waits for the program's output
    double resumeAt = std::numeric_limits<double>::infinity();

    std::uint64_t sent = 0;
    std::uint64_t overrun = 0;
    std::shared_ptr<PortDriver> driver;
};

}  // namespace quorvel
