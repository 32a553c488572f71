// What is attached to the simulated card's connectors: plugs, cables between
// two ports, or nothing. Changeable while the card runs.
#include "card/SimulatedCardPort.h"

namespace quorvel {

void SimulatedCard::Detach(int port) {
    Port& p = *m_ports[port];
    if (p.wiring == PortWiring::Cable && ValidPort(p.partner)) {
        Port& other = *m_ports[static_cast<std::size_t>(p.partner)];
        if (other.partner == port) {
            other.wiring = PortWiring::Nothing;
            other.partner = -1;
        }
    }
    p.wiring = PortWiring::Nothing;
    p.partner = -1;
}

void SimulatedCard::AttachNothing(int port) {
    if (!ValidPort(port)) {
        return;
    }
    std::lock_guard lock(m_mutex);
    Detach(port);
    UpdateLines();
}

void SimulatedCard::AttachPlug(int port) {
    if (!ValidPort(port)) {
        return;
    }
    std::lock_guard lock(m_mutex);
    Detach(port);
    m_ports[port]->wiring = PortWiring::Plug;
    UpdateLines();
}

void SimulatedCard::AttachCable(int port, int otherPort) {
    if (!ValidPort(port) || !ValidPort(otherPort) || port == otherPort) {
        return;
    }
    std::lock_guard lock(m_mutex);
    Detach(port);
    Detach(otherPort);
    Port& a = *m_ports[port];
    Port& b = *m_ports[otherPort];
    a.wiring = b.wiring = PortWiring::Cable;
    a.partner = otherPort;
    b.partner = port;
    UpdateLines();
}

PortWiring SimulatedCard::WiringOf(int port) const {
    std::lock_guard lock(m_mutex);
    return ValidPort(port) ? m_ports[port]->wiring : PortWiring::Nothing;
}

}  // namespace quorvel
