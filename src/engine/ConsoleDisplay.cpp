#include "engine/ConsoleDisplay.h"

#include <utility>

namespace quorvel {

void ConsoleDisplay::Append(Box& box, std::string_view bytes) {
    if (box.length + bytes.size() > kBoxLimit) {
        // The box would pass its limit: it is emptied first, and whatever it
        // was still to show before this append is never drawn.
        box.clear = true;
        box.pending.assign(bytes);
        box.length = bytes.size();
        return;
    }
    box.pending.append(bytes);
    box.length += bytes.size();
}

ConsoleDisplay::BoxUpdate ConsoleDisplay::TakeBox(Box& box) {
    BoxUpdate update{box.clear, std::move(box.pending)};
    box.clear = false;
    box.pending.clear();
    return update;
}

ConsoleDisplay::Port* ConsoleDisplay::PortAt(int port) {
    return ValidPort(port) ? &m_ports[port] : nullptr;
}

void ConsoleDisplay::Wake() {
    if (!m_wakePending.exchange(true) && m_waker) {
        m_waker();
    }
}

void ConsoleDisplay::AppendTransmit(int port, std::string_view bytes) {
    if (Port* p = PortAt(port)) {
        {
            std::lock_guard lock(p->mutex);
            Append(p->transmit, bytes);
        }
        Wake();
    }
}

void ConsoleDisplay::AppendReceive(int port, std::string_view bytes) {
    if (Port* p = PortAt(port)) {
        {
            std::lock_guard lock(p->mutex);
            Append(p->receive, bytes);
        }
        Wake();
    }
}

void ConsoleDisplay::ClearBoxes(int port) {
    if (Port* p = PortAt(port)) {
        {
            std::lock_guard lock(p->mutex);
            p->transmit = Box{true, {}, 0};
            p->receive = Box{true, {}, 0};
        }
        Wake();
    }
}

void ConsoleDisplay::SetPacketCount(int port, std::int32_t packets) {
    if (Port* p = PortAt(port)) {
        {
            std::lock_guard lock(p->mutex);
            p->packetCount = packets;
        }
        Wake();
    }
}

void ConsoleDisplay::SetErrorCount(int port, std::uint64_t errors) {
    if (Port* p = PortAt(port)) {
        {
            std::lock_guard lock(p->mutex);
            p->errorCount = errors;
        }
        Wake();
    }
}

void ConsoleDisplay::SetTxd(int port, bool on) {
    if (Port* p = PortAt(port)) {
        bool look = false;
        {
            std::lock_guard lock(p->mutex);
            look = p->txd.Moved(m_clock.NowMs(), on);
        }
        if (look) {
            Wake();
        }
    }
}

void ConsoleDisplay::NoteReceive(int port) {
    if (Port* p = PortAt(port)) {
        bool look = false;
        {
            std::lock_guard lock(p->mutex);
            look = p->rxd.Moved(m_clock.NowMs(), false);
        }
        if (look) {
            Wake();
        }
    }
}

void ConsoleDisplay::SetLines(int port, const ModemLines& lines) {
    if (Port* p = PortAt(port)) {
        bool look = false;
        {
            std::lock_guard lock(p->mutex);
            look = p->lines.Set(lines);
        }
        if (look) {
            Wake();
        }
    }
}

void ConsoleDisplay::SetIndicators(int port, const LineIndicatorState& state) {
    if (Port* p = PortAt(port)) {
        {
            std::lock_guard lock(p->mutex);
            p->indicators = state;
            p->txd.Reset();
            p->rxd.Reset();
            p->lines.Reset();
        }
        Wake();
    }
}

void ConsoleDisplay::SetBoxLengths(int port, std::size_t transmit, std::size_t receive) {
    if (Port* p = PortAt(port)) {
        std::lock_guard lock(p->mutex);
        p->transmit.length = transmit;
        p->receive.length = receive;
    }
}

void ConsoleDisplay::SetEnabled(int port, bool enabled) {
    if (ValidPort(port)) {
        m_enabled[port].store(enabled);
    }
}

bool ConsoleDisplay::Enabled(int port) const {
    return ValidPort(port) && m_enabled[port].load();
}

ConsoleDisplay::PortUpdate ConsoleDisplay::Take(int port) {
    PortUpdate update;
    Port* p = PortAt(port);
    if (p == nullptr) {
        return update;
    }
    const std::uint64_t now = m_clock.NowMs();
    std::lock_guard lock(p->mutex);
    update.transmit = TakeBox(p->transmit);
    update.receive = TakeBox(p->receive);
    update.packetCount = std::exchange(p->packetCount, std::nullopt);
    update.errorCount = std::exchange(p->errorCount, std::nullopt);
    update.indicators = std::exchange(p->indicators, std::nullopt);
    update.txd = p->txd.Take(now, update.againInMs);
    update.rxd = p->rxd.Take(now, update.againInMs);
    update.lines = p->lines.Take(update.againInMs);
    return update;
}

}  // namespace quorvel
