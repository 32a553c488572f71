// The simulated card's thread: it waits for the ports' output and for the
// moments their lines are free again, takes each port's bytes at its line
// rate and delivers them where the wiring says, as the receiver's UART would
// read them.
#include <sys/epoll.h>
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

void SimulatedCard::Arm(int index, bool readable) {
    Port& port = *m_ports[static_cast<std::size_t>(index)];
    if (port.armed == readable || port.master < 0) {
        return;
    }
    epoll_event event{};
    event.events = readable ? static_cast<std::uint32_t>(EPOLLIN) : 0u;
    event.data.u32 = static_cast<std::uint32_t>(index);
    ::epoll_ctl(m_epoll, EPOLL_CTL_MOD, port.master, &event);
    port.armed = readable;
}

void SimulatedCard::Run() {
    NameThisThread("quorvel-card");
    std::array<epoll_event, kPorts + 1> events{};
    while (!m_stopping) {
        int timeoutMs = -1;
        {
            std::lock_guard lock(m_mutex);
            const double now = Now();
            double soonest = std::numeric_limits<double>::infinity();
            for (const auto& port : m_ports) {
                if (port->plugged && !port->stalled) {
                    soonest = std::min(soonest, port->resumeAt);
                }
            }
            if (std::isfinite(soonest)) {
                timeoutMs = static_cast<int>(std::ceil(std::max(0.0, soonest - now) * 1000.0));
            }
        }
        const int ready =
            ::epoll_wait(m_epoll, events.data(), static_cast<int>(events.size()), timeoutMs);
        if (m_stopping) {
            break;
        }
        std::lock_guard lock(m_mutex);
        const double now = Now();
        for (int i = 0; i < ready; ++i) {
            const std::uint32_t tag = events[static_cast<std::size_t>(i)].data.u32;
            if (tag == kCardWakeTag) {
                std::uint64_t drained = 0;
                [[maybe_unused]] const ssize_t n = ::read(m_wake, &drained, sizeof drained);
            } else if (tag < kPorts) {
                ServicePort(static_cast<int>(tag), now);
            }
        }
        for (int i = 0; i < kPorts; ++i) {
            if (m_ports[static_cast<std::size_t>(i)]->resumeAt <= now) {
                ServicePort(i, now);
            }
        }
    }
}

void SimulatedCard::ServicePort(int index, double now) {
    Port& port = *m_ports[static_cast<std::size_t>(index)];
    port.resumeAt = std::numeric_limits<double>::infinity();
    if (!port.plugged) {
        return;
    }
    if (port.stalled) {
        Arm(index, false);  // the program's output stays where it is
        return;
    }
    const double charTime = port.frame.CharacterSeconds();
    if (port.idle) {
        // The line was idle: the first character goes out at once.
        port.credit = std::max(port.credit, 1.0);
        port.idle = false;
    } else {
        port.credit += (now - port.reckoned) / charTime;
    }
    port.credit = std::min(port.credit, std::max(1.0, kBusyCatchUpSeconds / charTime));
    port.reckoned = now;

    if (port.credit >= 1.0) {
        std::array<std::uint8_t, 4096> buffer{};
        const auto want =
            std::min<std::size_t>(buffer.size(), static_cast<std::size_t>(port.credit));
        const ssize_t n = ::read(port.master, buffer.data(), want);
        if (n > 0) {
            port.credit -= static_cast<double>(n);
            port.sent += static_cast<std::uint64_t>(n);
            const auto size = static_cast<std::size_t>(n);
            if (port.loopback) {
                Deliver(index, index, buffer.data(), size);  // inside the card, not on the wire
            } else if (port.wiring == PortWiring::Plug) {
                Deliver(index, index, buffer.data(), size);
            } else if (port.wiring == PortWiring::Cable && ValidPort(port.partner) &&
                       !m_ports[static_cast<std::size_t>(port.partner)]->loopback) {
                Deliver(index, port.partner, buffer.data(), size);
            }
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            port.idle = true;  // nothing waiting: wait for the program's next write
            port.credit = 0.0;
            Arm(index, true);
            return;
        } else {
            // The tty reports an error the card cannot clear; look again later
            // instead of spinning on it.
            Arm(index, false);
            port.resumeAt = now + 0.050;
            return;
        }
    }
    if (port.credit < 1.0) {
        Arm(index, false);
        port.resumeAt =
            port.reckoned + std::max((1.0 - port.credit) * charTime, kServiceStepSeconds);
    } else {
        Arm(index, true);
    }
}

void SimulatedCard::Deliver(int from, int to, const std::uint8_t* data, std::size_t size) {
    Port& sender = *m_ports[static_cast<std::size_t>(from)];
    Port& receiver = *m_ports[static_cast<std::size_t>(to)];
    if (!receiver.plugged) {
        return;
    }
    std::array<std::uint8_t, 4096> line{};
    const std::uint8_t sentMask = DataMask(sender.frame.dataBits);
    const bool sameFrame = sender.frame == receiver.frame;
    for (std::size_t i = 0; i < size; ++i) {
        std::uint8_t byte = static_cast<std::uint8_t>(data[i] & sentMask);
        if (!sameFrame) {
            byte = ResampleCharacter(byte, sender.frame, receiver.frame);
        }
        if (receiver.bitErrorRate > 0.0) {
            std::bernoulli_distribution flip(receiver.bitErrorRate);
            for (int bit = 0; bit < receiver.frame.dataBits; ++bit) {
                if (flip(receiver.random)) {
                    byte = static_cast<std::uint8_t>(byte ^ (1u << bit));
                }
            }
        }
        line[i] = byte;
    }
    const ssize_t written = ::write(receiver.master, line.data(), size);
    const std::size_t taken = written > 0 ? static_cast<std::size_t>(written) : 0;
    receiver.overrun += size - taken;  // the program is not reading: its queue overflows
}

}  // namespace quorvel
