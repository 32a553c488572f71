// The program's ports on Linux: COM numbers through the device map, the card's
// requests answered with the kernel's own serial interfaces, and the simulated
// card, when asked for, in front of them.
#include <optional>

#include "card/LinuxCardDriver.h"
#include "card/ProgramPorts.h"
#include "card/SimulatedCard.h"

namespace quorvel {

struct ProgramPorts::Platform {
    DeviceMapResolver realPorts{std::make_shared<LinuxCardDriver>()};
    std::optional<SimulatedCard> card;
    bool cardRunning = false;
};

ProgramPorts::ProgramPorts(const CardOptions& options)
    : m_options(options), m_platform(std::make_unique<Platform>()) {}

ProgramPorts::~ProgramPorts() {
    if (m_platform->card) {
        m_platform->card->Uninstall();
        m_platform->card->Stop();
    }
    InstallComDeviceResolver(nullptr);
}

bool ProgramPorts::Start(std::string* error) {
    InstallComDeviceResolver(&m_platform->realPorts);
    if (!m_options.simulated) {
        return true;
    }
    m_platform->card.emplace(m_options.firstCom, m_options.wiring);
    if (!m_platform->card->Start(error)) {
        m_platform->card.reset();
        return false;
    }
    m_platform->card->Install();
    ApplyCardFaults(*m_platform->card, m_options.faults);
    return true;
}

SimulatedCard* ProgramPorts::Card() const {
    return m_platform->card ? &*m_platform->card : nullptr;
}

std::optional<CardFaultCounts> ProgramPorts::FaultCountsOf(int port) const {
    if (!m_platform->card) {
        return std::nullopt;
    }
    return m_platform->card->FaultCountsOf(port);
}

}  // namespace quorvel
