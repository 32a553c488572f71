// The simulated card's life and its faces to the program: starting and
// stopping it, making and removing its ports' pseudo-terminals, the COM lookup
// it answers, the faults tests inject, the card's view of each port, and the
// driver requests and line settings that reach it from the program.
#include "card/SimulatedCard.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "card/SimulatedCardPort.h"

namespace quorvel {
namespace {

// Raw, as a line carries bytes, and with EXTPROC, with which the pty reports
// every change of its settings to the master in packet mode. A program that
// reads the settings, changes what it needs and sets them keeps EXTPROC; one
// that sets them from nothing clears it, and the card then reads the settings
// each time it takes the program's output.
void SetRaw(int fd) {
    termios tio{};
    if (::tcgetattr(fd, &tio) == 0) {
        ::cfmakeraw(&tio);
        tio.c_cflag |= CLOCAL | CREAD;
        tio.c_lflag |= EXTPROC;
        ::cfsetispeed(&tio, B9600);
        ::cfsetospeed(&tio, B9600);
        ::tcsetattr(fd, TCSANOW, &tio);
    }
}

}  // namespace

SimulatedCard::SimulatedCard(int firstCom, CardWiring wiring)
    : m_firstCom(firstCom), m_initialWiring(wiring), m_link(std::make_shared<Link>()) {
    m_link->card = this;
    for (int i = 0; i < kPorts; ++i) {
        m_ports[i] = std::make_unique<Port>();
        m_ports[i]->driver = std::make_shared<PortDriver>(m_link, i);
    }
}

SimulatedCard::~SimulatedCard() {
    Uninstall();
    Stop();
    std::lock_guard lock(m_link->mutex);
    m_link->card = nullptr;
}

bool SimulatedCard::Start(std::string* error) {
    if (Running()) {
        return true;
    }
    m_epoll = ::epoll_create1(EPOLL_CLOEXEC);
    m_wake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (m_epoll < 0 || m_wake < 0) {
        if (error) {
            *error = "the card thread's wait set could not be made";
        }
        Stop();
        return false;
    }
    epoll_event wake{};
    wake.events = EPOLLIN;
    wake.data.u32 = kCardWakeTag;
    ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_wake, &wake);
    {
        std::lock_guard lock(m_mutex);
        // Without inotify (the system's limit reached) the card still runs;
        // it then cannot tell when a program closes a port.
        m_holders = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (m_holders >= 0) {
            epoll_event holders{};
            holders.events = EPOLLIN;
            holders.data.u32 = kCardHoldersTag;
            ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_holders, &holders);
        }
        for (int i = 0; i < kPorts; ++i) {
            if (!CreatePort(i, error)) {
                for (auto& port : m_ports) {
                    DestroyPort(*port);
                }
                for (int* fd : {&m_epoll, &m_wake, &m_holders}) {
                    if (*fd >= 0) {
                        ::close(*fd);
                    }
                    *fd = -1;
                }
                return false;
            }
        }
        for (int i = 0; i < kPorts; ++i) {
            Port& port = *m_ports[i];
            port.wiring = m_initialWiring == CardWiring::Plugs   ? PortWiring::Plug
                          : m_initialWiring == CardWiring::Pairs ? PortWiring::Cable
                                                                 : PortWiring::Nothing;
            port.partner = m_initialWiring == CardWiring::Pairs ? (i ^ 1) : -1;
        }
        UpdateLines();
    }
    m_stopping = false;
    m_thread = std::thread([this] { Run(); });
    return true;
}

void SimulatedCard::Stop() {
    if (m_thread.joinable()) {
        m_stopping = true;
        Wake();
        m_thread.join();
    }
    std::lock_guard lock(m_mutex);
    for (auto& port : m_ports) {
        DestroyPort(*port);
    }
    for (int* fd : {&m_epoll, &m_wake, &m_holders}) {
        if (*fd >= 0) {
            ::close(*fd);
            *fd = -1;
        }
    }
}

bool SimulatedCard::CreatePort(int index, std::string* error) {
    Port& port = *m_ports[index];
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    char name[128] = {};
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0 ||
        ::ptsname_r(master, name, sizeof name) != 0) {
        if (master >= 0) {
            ::close(master);
        }
        if (error) {
            *error = "no pseudo-terminal could be made for Port" + std::to_string(index + 1);
        }
        return false;
    }
    const int slave = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slave < 0) {
        ::close(master);
        if (error) {
            *error = std::string("the pseudo-terminal ") + name + " could not be opened";
        }
        return false;
    }
    // A new pty echoes and edits lines; the card's line carries bytes as they are.
    SetRaw(slave);
    // Packet mode: the master hears of the slave's flushes and setting changes
    // ahead of any data that follows them.
    int packet = 1;
    if (::ioctl(master, TIOCPKT, &packet) != 0) {
        ::close(slave);
        ::close(master);
        if (error) {
            *error = std::string("the pseudo-terminal ") + name + " has no packet mode";
        }
        return false;
    }
    port.master = master;
    port.slave = slave;
    port.path = name;
    port.plugged = true;
    port.driverLine.reset();
    port.config.reset();
    port.loopback = false;
    port.holders = 0;
    port.freshBytes = 0;
    port.queue.clear();
    port.outputHeld = false;
    port.written = port.taken = 0;
    port.sending = false;
    port.armed = true;
    port.resumeAt = std::numeric_limits<double>::infinity();
    FollowTty(port);
    WatchPort(index);
    epoll_event event{};
    event.events = EPOLLIN | EPOLLPRI;
    event.data.u32 = static_cast<std::uint32_t>(index);
    ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, master, &event);
    return true;
}

void SimulatedCard::DestroyPort(Port& port) {
    if (port.watch >= 0 && m_holders >= 0) {
        ::inotify_rm_watch(m_holders, port.watch);
    }
    port.watch = -1;
    port.holders = 0;
    port.queue.clear();
    if (port.master >= 0) {
        ::close(port.master);  // leaves the wait set with it
        port.master = -1;
    }
    if (port.slave >= 0) {
        ::close(port.slave);
        port.slave = -1;
    }
    // The node is gone and its number free for any other pty of the system:
    // the port is reachable by no name until it is plugged back.
    port.path.clear();
    port.plugged = false;
    port.armed = false;
}

std::string SimulatedCard::DevicePath(int port) const {
    std::lock_guard lock(m_mutex);
    return ValidPort(port) ? m_ports[port]->path : std::string();
}

std::optional<ComDevice> SimulatedCard::Resolve(int com) {
    const int port = com - m_firstCom;
    if (ValidPort(port)) {
        std::lock_guard lock(m_mutex);
        const Port& p = *m_ports[port];
        if (!p.plugged) {
            return std::nullopt;  // unplugged: no device answers for the number
        }
        return ComDevice{p.path, p.driver, p.driver};
    }
    if (ComDeviceResolver* fallback = m_fallback.load()) {
        return fallback->Resolve(com);
    }
    return std::nullopt;
}

std::string SimulatedCard::Refresh() {
    if (ComDeviceResolver* fallback = m_fallback.load()) {
        return fallback->Refresh();
    }
    return {};
}

void SimulatedCard::PortsOpened() {
    if (ComDeviceResolver* fallback = m_fallback.load()) {
        fallback->PortsOpened();
    }
}

void SimulatedCard::Install() {
    if (!m_installed.exchange(true)) {
        m_fallback = &ActiveComDeviceResolver();
        InstallComDeviceResolver(this);
    }
}

void SimulatedCard::Uninstall() {
    if (m_installed.exchange(false)) {
        InstallComDeviceResolver(m_fallback.load());
    }
}

PortLine SimulatedCard::LineOf(int port) const {
    std::lock_guard lock(m_mutex);
    if (!ValidPort(port)) {
        return PortLine{};
    }
    const Port& p = *m_ports[port];
    return PortLine{p.frame, p.tty.rtsCts, p.tty.xonXoffOut, p.tty.xonXoffIn};
}

std::optional<PortConfigRequest> SimulatedCard::ConfigurationOf(int port) const {
    std::lock_guard lock(m_mutex);
    return ValidPort(port) ? m_ports[port]->config : std::nullopt;
}

bool SimulatedCard::InternalLoopbackOf(int port) const {
    std::lock_guard lock(m_mutex);
    return ValidPort(port) && m_ports[port]->loopback;
}

std::uint64_t SimulatedCard::BytesSentBy(int port) const {
    std::lock_guard lock(m_mutex);
    return ValidPort(port) ? m_ports[port]->sent : 0;
}

std::uint64_t SimulatedCard::BytesOverrun(int port) const {
    std::lock_guard lock(m_mutex);
    return ValidPort(port) ? m_ports[port]->overrun : 0;
}

std::size_t SimulatedCard::QueuedBytes(int port) const {
    std::lock_guard lock(m_mutex);
    return ValidPort(port) ? m_ports[port]->queue.size() : 0;
}

int SimulatedCard::HoldersOf(int port) const {
    std::lock_guard lock(m_mutex);
    return ValidPort(port) ? m_ports[port]->holders : 0;
}

double SimulatedCard::LineSecondsOf(int port) const {
    std::lock_guard lock(m_mutex);
    return ValidPort(port) ? m_ports[port]->lineSeconds : 0.0;
}

bool SimulatedCard::HandleRequest(int port, std::uint32_t code, const std::uint8_t* data,
                                  std::size_t size) {
    std::lock_guard lock(m_mutex);
    Port& p = *m_ports[port];
    if (!p.plugged) {
        return false;
    }
    if (const auto config = ParsePortConfigRequest(code, data, size)) {
        constexpr int kFirstRs485Port = 6;  // only the card's ports 7 and 8 have RS485
        if (config->Rs485() && port < kFirstRs485Port) {
            return false;
        }
        p.config = *config;
        return true;
    }
    if (const auto loopback = ParseLoopbackRequest(code, data, size)) {
        if (loopback->PortSelector() != 0x10 * port + 4) {
            return false;  // a request for another port on this port's handle
        }
        p.loopback = loopback->On();
        UpdateLines();  // the card's own loopback joins the port's lines inside it
        return true;
    }
    return false;
}

// Called by the program's serial code right after it set the tty, so the
// card's view of the port is whole when the port's open returns.
void SimulatedCard::LineSettingsApplied(int port, const LineSettings& settings) {
    {
        std::lock_guard lock(m_mutex);
        TakeHolderEvents();  // a close before this open must not undo what follows
        Port& p = *m_ports[port];
        if (p.plugged) {
            p.driverLine = settings;
            FollowTty(p);
            UpdateLines();  // the port is held: it drives its lines
        }
    }
}

// Called by the program's serial code after each write: once what it has
// written fills the transmit queue, its next write waits, whenever the card
// thread comes to take the bytes.
void SimulatedCard::OutputWritten(int port, std::size_t bytes) {
    std::lock_guard lock(m_mutex);
    Port& p = *m_ports[port];
    if (p.plugged) {
        p.written += bytes;
        if (p.Ahead() >= kTransmitQueueBytes) {
            HoldOutput(p);
        }
    }
}

// Called by the program's serial code after it flushed its output: what it
// wrote and the card had not taken is gone from the pty.
void SimulatedCard::OutputDiscarded(int port) {
    std::lock_guard lock(m_mutex);
    Port& p = *m_ports[port];
    p.taken = std::max(p.taken, p.written);
}

}  // namespace quorvel
