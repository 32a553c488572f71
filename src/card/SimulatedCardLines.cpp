// The simulated card's modem lines and UART: how the wiring joins the lines,
// what the programs drive, hardware flow control, what the receiving UART
// counts, and the faults on the lines (a cut CTS wire, a flickering DCD,
// breaks, framing and parity errors).
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>

#include "card/SimulatedCardPort.h"

namespace quorvel {
namespace {

// Hardware flow control: a port's RTS drops once its program has left this
// much of its 4 KB receive queue unread, and rises again once it has read it
// down to the second. While it is down the card looks again this often.
constexpr int kThrottleBytes = 3072;
constexpr int kUnthrottleBytes = 1024;
constexpr double kThrottleLookSeconds = 0.005;

// A late card thread catches up on at most this much of a toggling fault.
constexpr double kMostToggleCatchUpSeconds = 1.0;

constexpr double kNever = std::numeric_limits<double>::infinity();

}  // namespace

bool SimulatedCard::HeldByCts(const Port& port) {
    return port.tty.rtsCts && !port.modem.lines.cts;
}

// A port drives its lines while a program holds it; a closed port's DTR and
// RTS are down, as a tty's close drops them.
bool SimulatedCard::DrivesLines(const Port& port) const {
    return Listening(port);
}

ModemLines SimulatedCard::WiredLines(int index) const {
    const Port& port = *m_ports[index];
    ModemLines lines;
    if (!port.plugged) {
        return lines;
    }
    const auto dtr = [this](const Port& p) { return DrivesLines(p) && p.modem.programDtr; };
    const auto rts = [this](const Port& p) {
        return DrivesLines(p) && p.modem.programRts && !p.modem.throttled;
    };
    lines.dtr = dtr(port);
    lines.rts = rts(port);
    // Where the inputs come from: the port itself through a plug or the
    // card's own loopback, the other end of a cable (whose outputs a port in
    // internal loopback keeps off the wire), or nowhere.
    const Port* source = nullptr;
    const bool plugged = port.loopback || port.wiring == PortWiring::Plug;
    if (plugged) {
        source = &port;
    } else if (port.wiring == PortWiring::Cable && ValidPort(port.partner) &&
               !m_ports[static_cast<std::size_t>(port.partner)]->loopback) {
        source = m_ports[static_cast<std::size_t>(port.partner)].get();
    }
    if (source != nullptr) {
        lines.cts = rts(*source);
        lines.dsr = lines.dcd = dtr(*source);
        lines.ri = plugged && dtr(*source);  // a plug wires RI to DTR; a cable leaves it open
    }
    lines.cts = lines.cts && !port.modem.ctsCut;
    lines.dcd = lines.dcd != port.modem.dcdFlipped;
    return lines;
}

void SimulatedCard::UpdateLines() {
    for (auto& port : m_ports) {
        if (!DrivesLines(*port)) {
            port->modem.programDtr = port->modem.programRts = true;  // for the next opener
        }
    }
    PerPort<ModemLines> wired{};
    for (int i = 0; i < kPorts; ++i) {
        wired[i] = WiredLines(i);
    }
    for (int i = 0; i < kPorts; ++i) {
        Port& port = *m_ports[i];
        const ModemLines& now = wired[i];
        const ModemLines was = port.modem.lines;
        if (now == was) {
            continue;
        }
        LineCounts& counts = port.modem.counts;
        counts.ctsChanges += now.cts != was.cts ? 1 : 0;
        counts.dsrChanges += now.dsr != was.dsr ? 1 : 0;
        counts.dcdChanges += now.dcd != was.dcd ? 1 : 0;
        counts.riChanges += now.ri != was.ri ? 1 : 0;
        const bool wasHeld = HeldByCts(port);
        port.modem.lines = now;
        if (wasHeld && !HeldByCts(port)) {
            port.resumeAt = 0.0;  // its output goes on at the card thread's next round
        }
        TellLineWatchers(port);
    }
}

void SimulatedCard::TellLineWatchers(const Port& port) const {
    const std::uint64_t one = 1;
    for (const int fd : port.modem.watchers) {
        [[maybe_unused]] const ssize_t n = ::write(fd, &one, sizeof one);
    }
}

void SimulatedCard::ServiceLines(double now) {
    for (auto& owned : m_ports) {
        Port& port = *owned;
        if (!port.plugged) {
            continue;
        }
        if (port.modem.nextBreakAt <= now) {
            PutBreak(port);
            port.modem.nextBreakAt = now + kBreakSeconds;
        }
        if (port.modem.nextDcdToggleAt <= now) {
            const double period = 1.0 / port.modem.dcdTogglesPerSecond;
            double& next = port.modem.nextDcdToggleAt;
            next = std::max(next, now - kMostToggleCatchUpSeconds);
            // Every change counts, even those the card thread came to late.
            for (; next <= now; next += period) {
                port.modem.dcdFlipped = !port.modem.dcdFlipped;
                UpdateLines();
            }
        }
        if (port.modem.nextThrottleLook <= now) {
            LookAtReceiveQueue(port, now);
        }
    }
    UpdateLines();  // holders come and go, and the ptys' flow control with them
}

// Hardware flow control, as a UART driver throttles: the receive queue is
// the pty's, whose unread bytes the card's own hold of the slave reads.
void SimulatedCard::LookAtReceiveQueue(Port& port, double now) {
    bool throttled = false;
    if (port.tty.rtsCts && Listening(port)) {
        int unread = 0;
        if (::ioctl(port.slave, FIONREAD, &unread) != 0) {
            unread = 0;
        }
        throttled = port.modem.throttled ? unread > kUnthrottleBytes : unread >= kThrottleBytes;
    }
    port.modem.nextThrottleLook = throttled ? now + kThrottleLookSeconds : kNever;
    if (throttled != port.modem.throttled) {
        port.modem.throttled = throttled;
        UpdateLines();
    }
}

// A break on the line: the UART counts it and hands the program a NUL, as
// a tty does with a break it neither ignores nor signals.
void SimulatedCard::PutBreak(Port& port) {
    if (!Listening(port)) {
        return;
    }
    const std::uint8_t nul = 0;
    ++port.modem.counts.breaks;
    ++port.breaksInjected;
    if (::write(port.master, &nul, 1) != 1) {
        ++port.overrun;
        ++port.modem.counts.bufferOverrun;
    }
    TellLineWatchers(port);
}

void SimulatedCard::Receive(const Port& sender, Port& receiver, std::uint8_t data,
                            std::uint8_t& byte, Arrival& arrival) {
    arrival = Arrival{};
    byte = static_cast<std::uint8_t>(data & DataMask(sender.frame.dataBits));
    if (!(sender.frame == receiver.frame)) {
        byte = ResampleCharacter(byte, sender.frame, receiver.frame, &arrival.error);
    }
    CardLineState& modem = receiver.modem;
    if (arrival.error == UartError::None && modem.framingRate > 0.0 &&
        std::bernoulli_distribution(modem.framingRate)(receiver.random)) {
        byte = 0;
        arrival = Arrival{UartError::Framing, true, false};
        return;
    }
    if (arrival.error == UartError::None && modem.parityRate > 0.0 &&
        receiver.frame.parity != Parity::None &&
        std::bernoulli_distribution(modem.parityRate)(receiver.random)) {
        byte = 0;
        arrival = Arrival{UartError::Parity, true, false};
        return;
    }
    if (receiver.bitErrorRate > 0.0) {
        const std::uint8_t clean = byte;
        std::bernoulli_distribution flip(receiver.bitErrorRate);
        for (int bit = 0; bit < BitCount(receiver.frame.dataBits); ++bit) {
            if (flip(receiver.random)) {
                byte = static_cast<std::uint8_t>(byte ^ (1u << bit));
            }
        }
        arrival.flipped = byte != clean;
    }
}

void SimulatedCard::CountArrivals(Port& receiver, const Arrival* arrivals, std::size_t taken,
                                  std::size_t kept) {
    // A fault counts only when the program got the character: one lost to
    // a full queue is counted there, once.
    LineCounts& counts = receiver.modem.counts;
    const LineCounts before = counts;
    for (std::size_t i = 0; i < taken; ++i) {
        const Arrival& arrival = arrivals[i];
        receiver.corrupted += arrival.flipped ? 1 : 0;
        if (arrival.error == UartError::Framing) {
            ++counts.framing;
            receiver.framingInjected += arrival.injected ? 1 : 0;
        } else if (arrival.error == UartError::Parity) {
            ++counts.parity;
            receiver.parityInjected += arrival.injected ? 1 : 0;
        }
    }
    receiver.overrun += kept - taken;  // the program is not reading: its queue overflows
    counts.bufferOverrun += kept - taken;
    if (!(counts == before)) {
        TellLineWatchers(receiver);
    }
    if (receiver.tty.rtsCts && !receiver.modem.throttled) {
        LookAtReceiveQueue(receiver, Now());
    }
}

// The drivers' calls, on the program's threads.

bool SimulatedCard::ReadLines(int port, ModemLines& lines, LineCounts& counts) {
    std::lock_guard lock(m_mutex);
    const Port& p = *m_ports[port];
    if (!p.plugged) {
        return false;
    }
    lines = p.modem.lines;
    counts = p.modem.counts;
    return true;
}

bool SimulatedCard::SetProgramLine(int port, OutputLine line, bool on) {
    {
        std::lock_guard lock(m_mutex);
        TakeHolderEvents();  // the open that came before must count first
        Port& p = *m_ports[port];
        if (!p.plugged) {
            return false;
        }
        (line == OutputLine::Dtr ? p.modem.programDtr : p.modem.programRts) = on;
        UpdateLines();
    }
    Wake();  // a sender whose CTS rose goes on
    return true;
}

void SimulatedCard::WatchLines(int port, int eventFd, bool watch) {
    std::lock_guard lock(m_mutex);
    std::vector<int>& watchers = m_ports[port]->modem.watchers;
    std::erase(watchers, eventFd);
    if (watch) {
        watchers.push_back(eventFd);
    }
}

// The public faults and views.

void SimulatedCard::CutCts(int port, bool cut) {
    if (!ValidPort(port)) {
        return;
    }
    {
        std::lock_guard lock(m_mutex);
        m_ports[port]->modem.ctsCut = cut;
        UpdateLines();
    }
    Wake();
}

void SimulatedCard::SetFramingErrorRate(int port, double rate) {
    if (ValidPort(port)) {
        std::lock_guard lock(m_mutex);
        m_ports[port]->modem.framingRate = std::clamp(rate, 0.0, 1.0);
    }
}

void SimulatedCard::SetParityErrorRate(int port, double rate) {
    if (ValidPort(port)) {
        std::lock_guard lock(m_mutex);
        m_ports[port]->modem.parityRate = std::clamp(rate, 0.0, 1.0);
    }
}

void SimulatedCard::SetBreaks(int port, bool on) {
    if (!ValidPort(port)) {
        return;
    }
    {
        std::lock_guard lock(m_mutex);
        m_ports[port]->modem.nextBreakAt = on ? Now() + kBreakSeconds : kNever;
    }
    Wake();
}

void SimulatedCard::ToggleDcd(int port, double perSecond) {
    if (!ValidPort(port)) {
        return;
    }
    {
        std::lock_guard lock(m_mutex);
        CardLineState& modem = m_ports[port]->modem;
        modem.dcdTogglesPerSecond = std::max(perSecond, 0.0);
        modem.nextDcdToggleAt = perSecond > 0.0 ? Now() + 1.0 / perSecond : kNever;
        if (perSecond <= 0.0) {
            modem.dcdFlipped = false;  // steady: DCD as the wiring has it
            UpdateLines();
        }
    }
    Wake();
}

ModemLines SimulatedCard::ModemLinesOf(int port) const {
    std::lock_guard lock(m_mutex);
    return ValidPort(port) ? m_ports[port]->modem.lines : ModemLines{};
}

LineCounts SimulatedCard::UartCountsOf(int port) const {
    std::lock_guard lock(m_mutex);
    return ValidPort(port) ? m_ports[port]->modem.counts : LineCounts{};
}

}  // namespace quorvel
