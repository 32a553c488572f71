// The faults the simulated card puts in for demonstrations and tests, and
// the card's own count of what they did: unplugging a port (now or after a
// while), stalling it, flipping bits it receives, dropping every N-th byte it
// receives, and blocks of it.
#include <algorithm>
#include <limits>

#include "card/CardOptions.h"
#include "card/SimulatedCardPort.h"

namespace quorvel {

void SimulatedCard::Unplug(int port) {
    if (!ValidPort(port)) {
        return;
    }
    {
        std::lock_guard lock(m_mutex);
        DestroyPort(*m_ports[port]);
        UpdateLines();  // its lines are gone from its partner's inputs
    }
    Wake();
}

bool SimulatedCard::Replug(int port) {
    if (!ValidPort(port) || !Running()) {
        return false;
    }
    bool made = false;
    {
        std::lock_guard lock(m_mutex);
        Port& p = *m_ports[port];
        made = p.plugged || CreatePort(port, nullptr);
        UpdateLines();
    }
    Wake();
    return made;
}

void SimulatedCard::Stall(int port, bool stalled) {
    if (!ValidPort(port)) {
        return;
    }
    {
        std::lock_guard lock(m_mutex);
        Port& p = *m_ports[port];
        p.stalled = stalled;
        if (!stalled) {
            p.sending = false;  // the line starts again from now
            p.resumeAt = 0.0;   // look at the port at once
        }
    }
    Wake();
}

void SimulatedCard::SetBitErrorRate(int port, double rate) {
    if (!ValidPort(port)) {
        return;
    }
    std::lock_guard lock(m_mutex);
    m_ports[port]->bitErrorRate = std::clamp(rate, 0.0, 1.0);
}

void SimulatedCard::DropEvery(int port, std::uint64_t every) {
    if (!ValidPort(port)) {
        return;
    }
    std::lock_guard lock(m_mutex);
    Port& p = *m_ports[port];
    p.dropEvery = every >= 2 ? every : 0;
    p.arrivals = 0;
}

void SimulatedCard::DropBlock(int port, std::uint64_t after, std::uint64_t length) {
    if (!ValidPort(port)) {
        return;
    }
    std::lock_guard lock(m_mutex);
    Port& p = *m_ports[static_cast<std::size_t>(port)];
    const std::uint64_t from = p.came + after;
    const std::uint64_t most = std::numeric_limits<std::uint64_t>::max();
    p.dropBlocks.emplace_back(from, length > most - from ? most : from + length);
}

void SimulatedCard::UnplugAfter(int port, double seconds) {
    if (!ValidPort(port)) {
        return;
    }
    {
        std::lock_guard lock(m_mutex);
        m_ports[port]->unplugAt = Now() + std::max(seconds, 0.0);
    }
    Wake();  // the card thread's next wait ends in time for it
}

CardFaultCounts SimulatedCard::FaultCountsOf(int port) const {
    std::lock_guard lock(m_mutex);
    if (!ValidPort(port)) {
        return {};
    }
    const Port& p = *m_ports[port];
    return {p.corrupted,       p.dropped,        p.overrun,
            p.framingInjected, p.parityInjected, p.breaksInjected};
}

void ApplyCardFaults(SimulatedCard& card, const std::vector<CardFault>& faults) {
    for (const CardFault& fault : faults) {
        switch (fault.kind) {
            case CardFault::Kind::BitErrors:
                card.SetBitErrorRate(fault.port, fault.value);
                break;
            case CardFault::Kind::Stall:
                card.Stall(fault.port, true);
                break;
            case CardFault::Kind::DropEvery:
                card.DropEvery(fault.port, static_cast<std::uint64_t>(fault.value));
                break;
            case CardFault::Kind::UnplugAfter:
                card.UnplugAfter(fault.port, fault.value);
                break;
            case CardFault::Kind::FramingErrors:
                card.SetFramingErrorRate(fault.port, fault.value);
                break;
            case CardFault::Kind::ParityErrors:
                card.SetParityErrorRate(fault.port, fault.value);
                break;
            case CardFault::Kind::Break:
                card.SetBreaks(fault.port, true);
                break;
            case CardFault::Kind::CtsLow:
                card.CutCts(fault.port, true);
                break;
            case CardFault::Kind::DcdToggle:
                card.ToggleDcd(fault.port, fault.value);
                break;
        }
    }
}

}  // namespace quorvel
