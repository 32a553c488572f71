// The program's ports on Windows: the COM devices by their Win32 names, the
// card's requests answered by the card's own driver. The simulated card is
// made of pseudo-terminals and exists on Linux only.
#include "card/ProgramPorts.h"

namespace quorvel {

struct ProgramPorts::Platform {};

ProgramPorts::ProgramPorts(const CardOptions& options)
    : m_options(options), m_platform(std::make_unique<Platform>()) {}

ProgramPorts::~ProgramPorts() = default;

bool ProgramPorts::Start(std::string* error) {
    if (m_options.simulated || !m_options.faults.empty()) {
        if (error) {
            *error = "the simulated card runs on Linux only";
        }
        return false;
    }
    return true;
}

SimulatedCard* ProgramPorts::Card() const {
    return nullptr;
}

std::optional<CardFaultCounts> ProgramPorts::FaultCountsOf(int) const {
    return std::nullopt;  // no simulated card on Windows
}

}  // namespace quorvel
