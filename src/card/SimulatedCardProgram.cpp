// The program side of the simulated card's ports: which ports a program holds
// open (from the opens and closes of their device nodes), the line settings
// the holder sets, and what a flush or a close of the holder discards. Every
// member here runs with the card's mutex held.
#include <sys/inotify.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>

#include "card/SimulatedCardPort.h"

namespace quorvel {

// Without a watch (the system's limit reached) the port counts as held
// always: the card cannot tell when a program closes it.
void SimulatedCard::WatchPort(int index) {
    Port& port = *m_ports[static_cast<std::size_t>(index)];
    // The card's own open of the slave came before the watch: only other
    // programs' opens and closes are counted.
    port.watch = m_holders < 0 ? -1
                               : ::inotify_add_watch(m_holders, port.path.c_str(),
                                                     IN_OPEN | IN_CLOSE_WRITE | IN_CLOSE_NOWRITE);
}

// The system queues the news of an open or a close before the call returns:
// by the time a program's output reaches the card, its open (and the close of
// whoever held the port before) is queued, and is taken here first. Called
// before the card takes any output, and before it acts on what a driver
// tells it.
void SimulatedCard::TakeHolderEvents() {
    if (m_holders < 0) {
        return;
    }
    PerPort<bool> left{};      // the last holder closed
    PerPort<bool> reopened{};  // and another program opened it since
    alignas(inotify_event) std::array<char, 4096> buffer{};
    for (;;) {
        const ssize_t n = ::read(m_holders, buffer.data(), buffer.size());
        if (n <= 0) {
            break;
        }
        for (ssize_t at = 0; at < n;) {
            inotify_event event{};
            std::copy_n(buffer.data() + at, sizeof event, reinterpret_cast<char*>(&event));
            at += static_cast<ssize_t>(sizeof event + event.len);
            for (int i = 0; i < kPorts; ++i) {
                Port& port = *m_ports[i];
                if (!port.plugged || port.watch != event.wd) {
                    continue;
                }
                if ((event.mask & IN_OPEN) != 0) {
                    ++port.holders;
                    reopened[i] = left[i];
                } else if ((event.mask & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE)) != 0 &&
                           port.holders > 0 && --port.holders == 0) {
                    left[i] = true;
                    reopened[i] = false;
                }
            }
        }
    }
    for (int i = 0; i < kPorts; ++i) {
        if (left[i]) {
            LastHolderLeft(i, reopened[i]);
        }
        m_ports[i]->freshBytes = 0;
    }
}

// What a program leaves behind goes with it: what it wrote and the card has
// not sent, what the card delivered and it has not read, and the data bits and
// parity its serial code set. When another program opened the port since, the
// bytes taken since the card last looked may be the newcomer's and stay; what
// arrived in that moment goes, as on hardware just before the port is opened.
void SimulatedCard::LastHolderLeft(int index, bool reopened) {
    Port& port = *m_ports[static_cast<std::size_t>(index)];
    const std::size_t keep = reopened ? std::min(port.freshBytes, port.queue.size()) : 0;
    port.queue.erase(port.queue.begin(), port.queue.end() - static_cast<std::ptrdiff_t>(keep));
    port.sending = port.sending && !port.queue.empty();
    if (!reopened) {
        ::tcflush(port.master, TCIFLUSH);  // written and not yet taken
        port.taken = std::max(port.taken, port.written);
    }
    ::tcflush(port.slave, TCIFLUSH);
    port.driverLine.reset();
    FollowTty(port);
}

// A port's receiver is on while a program holds the port.
bool SimulatedCard::Listening(const Port& port) const {
    return port.plugged && (port.watch < 0 || port.holders > 0);
}

// Reads the pty's settings and makes the UART's frame: the rate and stop bits
// from the pty, data bits and parity from the holder's serial code if it told
// the card, else 8N as on the pty.
void SimulatedCard::FollowTty(Port& port) {
    if (port.master < 0) {
        return;
    }
    if (const std::optional<TtyLine> tty = ReadTtyLine(port.master)) {
        port.tty = *tty;
    }
    UartFrame frame;
    frame.baud = port.tty.baud != 0 ? port.tty.baud : port.frame.baud;  // B0: the rate stays
    if (port.driverLine) {
        frame.dataBits = port.driverLine->dataBits;
        frame.parity = port.driverLine->parity;
    }
    if (!port.tty.twoStopBits) {
        frame.stopBits = StopBits::One;
    } else if (port.driverLine && port.driverLine->stopBits != StopBits::One) {
        frame.stopBits = port.driverLine->stopBits;
    } else {
        frame.stopBits = frame.dataBits == DataBits::Five ? StopBits::OnePointFive : StopBits::Two;
    }
    port.frame = frame;
}

// A flush of the program's output queue: everything in the card's queue was
// taken before the pty reported the flush, so it all goes.
void SimulatedCard::DiscardOutput(Port& port) {
    port.queue.clear();
    port.freshBytes = 0;
    port.sending = false;
}

// Holds the program's output, as a full driver queue makes a program's
// writes wait: the card's own hold on the tty, as tcflow sets it, with which
// the pty takes nothing more from the program until the card lets go. The
// pty itself would take 15-19 KB ahead of the card; held, it takes no more.
void SimulatedCard::HoldOutput(Port& port) {
    if (port.slave >= 0 && !port.outputHeld) {
        port.outputHeld = ::tcflow(port.slave, TCOOFF) == 0;
    }
}

// Lets the program's output go on while the transmit queue has room (the
// card thread, before it waits for what comes): the program is then never
// more than the queue's size and one write ahead of the line. Once full, the
// queue drains a little (kTransmitResumeSeconds of line time) before the
// program goes on, so that its writes go on in steps rather than a character
// at a time.
void SimulatedCard::ReleaseOutput(Port& port) {
    if (port.slave < 0 || !port.outputHeld) {
        return;
    }
    const auto drain = static_cast<std::size_t>(
        std::max(1.0, kTransmitResumeSeconds / port.frame.CharacterSeconds()));
    if (port.Ahead() + std::min(drain, kTransmitQueueBytes) <= kTransmitQueueBytes) {
        port.outputHeld = ::tcflow(port.slave, TCOON) != 0;
    }
}

}  // namespace quorvel
