// The simulated card's thread: it waits for the ports' output and the ptys'
// reports and for the moments their lines are free again, takes what each
// program writes into its port's transmit queue, sends it at the line rate
// and delivers it where the wiring says, as the receiver's UART would read it.
#include <sys/epoll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <limits>

#include "card/SimulatedCardPort.h"
#include "card/UartFrame.h"
#include "core/ThreadName.h"

namespace quorvel {
namespace {

// While a port's line is busy the card may fall behind by this much (a late
// wake-up of the card thread) and still send at the full line rate.
constexpr double kBusyCatchUpSeconds = 0.020;

// A busy line is served in steps of at least this long: the UART's bytes
// leave in small bursts at the exact average rate, and the card thread wakes
// a few hundred times a second instead of once per character.
constexpr double kServiceStepSeconds = 0.004;

// A tty that reports an error is looked at again after this long instead of
// being waited on, which would spin.
constexpr double kRetrySeconds = 0.050;

}  // namespace

void SimulatedCard::Wake() {
    if (m_wake >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(m_wake, &one, sizeof one);
    }
}

double SimulatedCard::Now() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Whether the card thread wakes for the program's output and the pty's
// reports; only a tty in error is left alone for a while.
void SimulatedCard::Arm(int index, bool readable) {
    Port& port = *m_ports[static_cast<std::size_t>(index)];
    if (port.armed == readable || port.master < 0) {
        return;
    }
    epoll_event event{};
    event.events = readable ? static_cast<std::uint32_t>(EPOLLIN | EPOLLPRI) : 0u;
    event.data.u32 = static_cast<std::uint32_t>(index);
    ::epoll_ctl(m_epoll, EPOLL_CTL_MOD, port.master, &event);
    port.armed = readable;
}

void SimulatedCard::Run() {
    NameThisThread("quorvel-card");
    std::array<epoll_event, kPorts + 2> events{};
    while (!m_stopping) {
        const int timeoutMs = ReadyToWait();
        const int ready =
            ::epoll_wait(m_epoll, events.data(), static_cast<int>(events.size()), timeoutMs);
        if (m_stopping) {
            break;
        }
        std::lock_guard lock(m_mutex);
        const double now = Now();
        for (auto& port : m_ports) {
            if (port->plugged && port->unplugAt <= now) {
                port->unplugAt = std::numeric_limits<double>::infinity();
                DestroyPort(*port);  // its time has come: the device vanishes
            }
        }
        TakeHolderEvents();
        ServiceLines(now);
        std::array<bool, kPorts> due{};
        for (int i = 0; i < ready; ++i) {
            const std::uint32_t tag = events[static_cast<std::size_t>(i)].data.u32;
            if (tag == kCardWakeTag) {
                std::uint64_t drained = 0;
                [[maybe_unused]] const ssize_t n = ::read(m_wake, &drained, sizeof drained);
            } else if (tag < kPorts) {
                due[tag] = true;
            }
        }
        // Every port's output and reports first: a flush is heeded before
        // anything more goes out, and a receiver's new settings are in place
        // before anything is delivered to it.
        for (int i = 0; i < kPorts; ++i) {
            const auto at = static_cast<std::size_t>(i);
            due[at] = due[at] || m_ports[at]->resumeAt <= now;
            if (due[at]) {
                TakeOutput(i);
            }
        }
        for (int i = 0; i < kPorts; ++i) {
            if (due[static_cast<std::size_t>(i)]) {
                ServicePort(i, now);
            }
        }
    }
}

// The card thread is about to wait: the programs whose queues have room may
// write again, now that the card is there to take what they write at once.
// The time to wait, in ms (-1: until something happens).
int SimulatedCard::ReadyToWait() {
    std::lock_guard lock(m_mutex);
    const double now = Now();
    double soonest = std::numeric_limits<double>::infinity();
    for (const auto& port : m_ports) {
        if (port->plugged) {
            ReleaseOutput(*port);
            soonest = std::min({soonest, port->resumeAt, port->unplugAt, port->modem.DueAt()});
        }
    }
    if (!std::isfinite(soonest)) {
        return -1;
    }
    return static_cast<int>(std::ceil(std::max(0.0, soonest - now) * 1000.0));
}

// Puts on the line what its time has come for, and says when to look again.
void SimulatedCard::ServicePort(int index, double now) {
    Port& port = *m_ports[static_cast<std::size_t>(index)];
    port.resumeAt = std::numeric_limits<double>::infinity();
    if (!port.plugged) {
        return;
    }
    Transmit(index, now);
    if (!port.queue.empty() && !port.stalled && !HeldByCts(port)) {
        port.resumeAt = std::max(port.lineFreeAt, now + kServiceStepSeconds);
    }
    if (!port.armed) {
        port.resumeAt = std::min(port.resumeAt, now + kRetrySeconds);
    }
}

// Reads everything the pty has from the program: its bytes into the transmit
// queue, and the reports of its flushes and setting changes, which come
// before any byte written after them. Once the queue is full the program is
// held; what it wrote before the hold took effect is all read here. Quorvel's
// own serial code says what it wrote, and is held where the queue is full
// before its next write; any other program, as soon as the card takes its
// bytes, which it does whenever they come.
void SimulatedCard::TakeOutput(int index) {
    Port& port = *m_ports[static_cast<std::size_t>(index)];
    if (!port.plugged) {
        return;
    }
    if (!port.tty.reportsChanges) {
        FollowTty(port);  // a program that cleared EXTPROC: its settings are read each time
    }
    std::array<std::uint8_t, 4096 + 1> buffer{};
    for (;;) {
        const ssize_t n = ::read(port.master, buffer.data(), buffer.size());
        if (n > 0 && buffer[0] == TIOCPKT_DATA) {
            port.queue.insert(port.queue.end(), buffer.begin() + 1, buffer.begin() + n);
            port.freshBytes += static_cast<std::size_t>(n - 1);
            port.taken += static_cast<std::uint64_t>(n - 1);
            if (port.Ahead() >= kTransmitQueueBytes) {
                HoldOutput(port);
            }
        } else if (n > 0) {
            const std::uint8_t status = buffer[0];
            if ((status & TIOCPKT_FLUSHWRITE) != 0) {
                DiscardOutput(port);
            }
            if ((status & (TIOCPKT_IOCTL | TIOCPKT_DOSTOP | TIOCPKT_NOSTOP)) != 0) {
                FollowTty(port);  // from the next character on
            }
            // TIOCPKT_FLUSHREAD: the tty itself dropped what the card had
            // delivered; the card keeps none of it. TIOCPKT_STOP and _START:
            // the card's own hold on the program's output.
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            Arm(index, true);
            return;
        } else {
            Arm(index, false);  // an error the card cannot clear: looked at again later
            return;
        }
    }
}

// Puts on the line the queued characters whose time has come on the card's
// clock: each keeps the line busy for its start, data, parity and stop bits.
void SimulatedCard::Transmit(int index, double now) {
    Port& port = *m_ports[static_cast<std::size_t>(index)];
    if (port.stalled || port.queue.empty() || HeldByCts(port)) {
        port.sending = false;
        return;
    }
    // A line that was idle starts with the first character now; a busy one
    // goes on where its last character ended, catching up on a late card
    // thread only so far.
    port.lineFreeAt = port.sending ? std::max(port.lineFreeAt, now - kBusyCatchUpSeconds)
                                   : std::max(port.lineFreeAt, now);
    port.sending = true;
    const double charTime = port.frame.CharacterSeconds();
    std::array<std::uint8_t, 4096> line{};
    // CTS may drop with any piece delivered (a plug's own receiver, full):
    // the UART stops at the next character.
    while (!port.queue.empty() && port.lineFreeAt <= now && !HeldByCts(port)) {
        std::size_t size = 0;
        while (size < line.size() && !port.queue.empty() && port.lineFreeAt <= now) {
            line[size++] = port.queue.front();
            port.queue.pop_front();
            port.lineFreeAt += charTime;
            port.lineSeconds += charTime;
        }
        port.sent += size;
        if (port.loopback) {
            Deliver(index, index, line.data(), size);  // inside the card, not on the wire
        } else if (port.wiring == PortWiring::Plug) {
            Deliver(index, index, line.data(), size);
        } else if (port.wiring == PortWiring::Cable && ValidPort(port.partner) &&
                   !m_ports[static_cast<std::size_t>(port.partner)]->loopback) {
            Deliver(index, port.partner, line.data(), size);
        }
    }
    port.sending = !port.queue.empty();
}

void SimulatedCard::Deliver(int from, int to, const std::uint8_t* data, std::size_t size) {
    Port& sender = *m_ports[static_cast<std::size_t>(from)];
    Port& receiver = *m_ports[static_cast<std::size_t>(to)];
    if (!Listening(receiver)) {
        return;  // no program holds the port: its receiver is off
    }
    std::array<std::uint8_t, 4096> line{};
    std::array<Arrival, 4096> arrivals{};
    std::size_t kept = 0;
    for (std::size_t i = 0; i < size; ++i) {
        const bool everyNth =
            receiver.dropEvery != 0 && ++receiver.arrivals % receiver.dropEvery == 0;
        if (everyNth || receiver.InDroppedBlock(receiver.came++)) {
            ++receiver.dropped;  // lost on the way
            continue;
        }
        Receive(sender, receiver, data[i], line[kept], arrivals[kept]);
        ++kept;
    }
    const ssize_t written = ::write(receiver.master, line.data(), kept);
    const std::size_t taken = written > 0 ? static_cast<std::size_t>(written) : 0;
    CountArrivals(receiver, arrivals.data(), taken, kept);
}

}  // namespace quorvel
