#include "card/SimulatedCard.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <limits>

#include "core/ThreadName.h"

namespace quorvel {
namespace {

constexpr std::uint32_t kWakeTag = 0xFFFFFFFF;

// While a port's line is busy the card may fall behind by this much (a late
// wake-up of the card thread) and still send at the full line rate.
constexpr double kBusyCatchUpSeconds = 0.020;

// A busy line is served in steps of at least this long: the UART's bytes
// leave in small bursts at the exact average rate, and the card thread wakes
// a few hundred times a second instead of once per character.
constexpr double kServiceStepSeconds = 0.004;

bool ParityBitOf(std::uint8_t data, int dataBits, std::uint8_t parity) {
    int ones = 0;
    for (int i = 0; i < dataBits; ++i) {
        ones += (data >> i) & 1;
    }
    switch (parity) {
        case line::kOddParity:
            return ones % 2 == 0;
        case line::kEvenParity:
            return ones % 2 == 1;
        case line::kMarkParity:
            return true;
        default:
            return false;  // space
    }
}

// The level of the sender's line `t` seconds after the start edge of a frame.
bool LineLevel(std::uint8_t data, const UartFrame& tx, double t) {
    const long bit = static_cast<long>(std::floor(t * tx.baud));
    if (bit <= 0) {
        return bit < 0;  // idle before, start bit at 0
    }
    if (bit <= tx.dataBits) {
        return ((data >> (bit - 1)) & 1) != 0;
    }
    if (tx.parity != line::kNoParity && bit == tx.dataBits + 1) {
        return ParityBitOf(data, tx.dataBits, tx.parity);
    }
    return true;  // stop bits, then idle
}

// What a receiver with frame `rx` reads of one character sent with frame `tx`:
// it samples the middle of each of its own bit times. A frame it cannot read
// (no start bit, wrong parity, no stop bit) gives NUL.
std::uint8_t ResampleCharacter(std::uint8_t data, const UartFrame& tx, const UartFrame& rx) {
    const double bitTime = 1.0 / rx.baud;
    auto sample = [&](int bit) { return LineLevel(data, tx, (bit + 0.5) * bitTime); };
    if (sample(0)) {
        return 0;
    }
    std::uint8_t value = 0;
    for (int i = 0; i < rx.dataBits; ++i) {
        if (sample(1 + i)) {
            value = static_cast<std::uint8_t>(value | (1u << i));
        }
    }
    int next = 1 + rx.dataBits;
    if (rx.parity != line::kNoParity) {
        if (sample(next) != ParityBitOf(value, rx.dataBits, rx.parity)) {
            return 0;
        }
        ++next;
    }
    return sample(next) ? value : 0;
}

std::uint8_t DataMask(int dataBits) {
    return static_cast<std::uint8_t>((1u << dataBits) - 1u);
}

void SetRaw(int fd) {
    termios tio{};
    if (::tcgetattr(fd, &tio) == 0) {
        ::cfmakeraw(&tio);
        tio.c_cflag |= CLOCAL | CREAD;
        ::cfsetispeed(&tio, B9600);
        ::cfsetospeed(&tio, B9600);
        ::tcsetattr(fd, TCSANOW, &tio);
    }
}

}  // namespace

double UartFrame::CharacterSeconds() const {
    const double stop = stopBits == line::kOneStopBit     ? 1.0
                        : stopBits == line::kOne5StopBits ? 1.5
                                                          : 2.0;
    const double bits = 1.0 + dataBits + (parity != line::kNoParity ? 1.0 : 0.0) + stop;
    return bits / std::max<std::uint32_t>(baud, 50);
}

struct SimulatedCard::Link {
    std::mutex mutex;
    SimulatedCard* card = nullptr;  // guarded by mutex; null once the card is gone
};

// The driver a port opened on the card talks to.
class SimulatedCard::PortDriver final : public DriverRequestHandler {
  public:
    PortDriver(std::shared_ptr<Link> link, int port) : m_link(std::move(link)), m_port(port) {}

    bool HandleRequest(int, std::uint32_t code, const std::uint8_t* data,
                       std::size_t size) override {
        std::lock_guard lock(m_link->mutex);
        return m_link->card != nullptr && m_link->card->HandleRequest(m_port, code, data, size);
    }

    void LineStateApplied(const LineState& state) override {
        std::lock_guard lock(m_link->mutex);
        if (m_link->card != nullptr) {
            m_link->card->LineStateApplied(m_port, state);
        }
    }

  private:
    std::shared_ptr<Link> m_link;
    int m_port;
};

// One port of the card. Guarded by the card's mutex.
struct SimulatedCard::Port {
    int master = -1;  // the card's side of the pty
    int slave = -1;   // held by the card so the tty never hangs up between users
    std::string path;
    bool plugged = false;

    PortWiring wiring = PortWiring::Plug;
    int partner = -1;
    bool stalled = false;

    double bitErrorRate = 0.0;
    std::mt19937 random{0x5EED};

    UartFrame frame;
    std::optional<PortConfigRequest> config;
    bool loopback = false;

    // Pacing: characters the line may carry now, and when that was reckoned.
    double credit = 0.0;
    double reckoned = 0.0;
    bool idle = true;    // nothing was waiting when last looked
    bool armed = false;  // the card thread waits for the program's output
    double resumeAt = std::numeric_limits<double>::infinity();

    std::uint64_t sent = 0;
    std::uint64_t overrun = 0;
    std::shared_ptr<PortDriver> driver;
};

SimulatedCard::SimulatedCard(int firstCom, CardWiring wiring)
    : m_firstCom(firstCom), m_initialWiring(wiring), m_link(std::make_shared<Link>()) {
    m_link->card = this;
    for (int i = 0; i < kPorts; ++i) {
        m_ports[static_cast<std::size_t>(i)] = std::make_unique<Port>();
        m_ports[static_cast<std::size_t>(i)]->driver = std::make_shared<PortDriver>(m_link, i);
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
    wake.data.u32 = kWakeTag;
    ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_wake, &wake);
    {
        std::lock_guard lock(m_mutex);
        for (int i = 0; i < kPorts; ++i) {
            if (!CreatePort(i, error)) {
                for (auto& port : m_ports) {
                    DestroyPort(*port);
                }
                ::close(m_epoll);
                ::close(m_wake);
                m_epoll = m_wake = -1;
                return false;
            }
        }
        for (int i = 0; i < kPorts; ++i) {
            Port& port = *m_ports[static_cast<std::size_t>(i)];
            port.wiring = m_initialWiring == CardWiring::Plugs   ? PortWiring::Plug
                          : m_initialWiring == CardWiring::Pairs ? PortWiring::Cable
                                                                 : PortWiring::Nothing;
            port.partner = m_initialWiring == CardWiring::Pairs ? (i ^ 1) : -1;
        }
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
    if (m_epoll >= 0) {
        ::close(m_epoll);
        m_epoll = -1;
    }
    if (m_wake >= 0) {
        ::close(m_wake);
        m_wake = -1;
    }
}

bool SimulatedCard::CreatePort(int index, std::string* error) {
    Port& port = *m_ports[static_cast<std::size_t>(index)];
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
    port.master = master;
    port.slave = slave;
    port.path = name;
    port.plugged = true;
    port.frame = UartFrame{};
    port.config.reset();
    port.loopback = false;
    port.idle = true;
    port.armed = true;
    port.resumeAt = std::numeric_limits<double>::infinity();
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u32 = static_cast<std::uint32_t>(index);
    ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, master, &event);
    return true;
}

void SimulatedCard::DestroyPort(Port& port) {
    if (port.master >= 0) {
        ::close(port.master);  // leaves the wait set with it
        port.master = -1;
    }
    if (port.slave >= 0) {
        ::close(port.slave);
        port.slave = -1;
    }
    port.plugged = false;
    port.armed = false;
}

std::string SimulatedCard::DevicePath(int port) const {
    std::lock_guard lock(m_mutex);
    return ValidPort(port) ? m_ports[static_cast<std::size_t>(port)]->path : std::string();
}

std::optional<ComDevice> SimulatedCard::Resolve(int com) {
    const int port = com - m_firstCom;
    if (ValidPort(port)) {
        std::lock_guard lock(m_mutex);
        const Port& p = *m_ports[static_cast<std::size_t>(port)];
        return ComDevice{p.path, p.driver};
    }
    if (ComDeviceResolver* fallback = m_fallback.load()) {
        return fallback->Resolve(com);
    }
    return std::nullopt;
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

void SimulatedCard::Detach(int port) {
    Port& p = *m_ports[static_cast<std::size_t>(port)];
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
}

void SimulatedCard::AttachPlug(int port) {
    if (!ValidPort(port)) {
        return;
    }
    std::lock_guard lock(m_mutex);
    Detach(port);
    m_ports[static_cast<std::size_t>(port)]->wiring = PortWiring::Plug;
}

void SimulatedCard::AttachCable(int port, int otherPort) {
    if (!ValidPort(port) || !ValidPort(otherPort) || port == otherPort) {
        return;
    }
    std::lock_guard lock(m_mutex);
    Detach(port);
    Detach(otherPort);
    Port& a = *m_ports[static_cast<std::size_t>(port)];
    Port& b = *m_ports[static_cast<std::size_t>(otherPort)];
    a.wiring = b.wiring = PortWiring::Cable;
    a.partner = otherPort;
    b.partner = port;
}

PortWiring SimulatedCard::WiringOf(int port) const {
    std::lock_guard lock(m_mutex);
    return ValidPort(port) ? m_ports[static_cast<std::size_t>(port)]->wiring : PortWiring::Nothing;
}

void SimulatedCard::Unplug(int port) {
    if (!ValidPort(port)) {
        return;
    }
    {
        std::lock_guard lock(m_mutex);
        DestroyPort(*m_ports[static_cast<std::size_t>(port)]);
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
        Port& p = *m_ports[static_cast<std::size_t>(port)];
        made = p.plugged || CreatePort(port, nullptr);
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
        Port& p = *m_ports[static_cast<std::size_t>(port)];
        p.stalled = stalled;
        if (!stalled) {
            p.resumeAt = 0.0;  // look at the port at once
        }
    }
    Wake();
}

void SimulatedCard::SetBitErrorRate(int port, double rate) {
    if (!ValidPort(port)) {
        return;
    }
    std::lock_guard lock(m_mutex);
    m_ports[static_cast<std::size_t>(port)]->bitErrorRate = std::clamp(rate, 0.0, 1.0);
}

UartFrame SimulatedCard::FrameOf(int port) const {
    std::lock_guard lock(m_mutex);
    return ValidPort(port) ? m_ports[static_cast<std::size_t>(port)]->frame : UartFrame{};
}

std::optional<PortConfigRequest> SimulatedCard::ConfigurationOf(int port) const {
    std::lock_guard lock(m_mutex);
    return ValidPort(port) ? m_ports[static_cast<std::size_t>(port)]->config : std::nullopt;
}

bool SimulatedCard::InternalLoopbackOf(int port) const {
    std::lock_guard lock(m_mutex);
    return ValidPort(port) && m_ports[static_cast<std::size_t>(port)]->loopback;
}

std::uint64_t SimulatedCard::BytesSentBy(int port) const {
    std::lock_guard lock(m_mutex);
    return ValidPort(port) ? m_ports[static_cast<std::size_t>(port)]->sent : 0;
}

std::uint64_t SimulatedCard::BytesOverrun(int port) const {
    std::lock_guard lock(m_mutex);
    return ValidPort(port) ? m_ports[static_cast<std::size_t>(port)]->overrun : 0;
}

bool SimulatedCard::HandleRequest(int port, std::uint32_t code, const std::uint8_t* data,
                                  std::size_t size) {
    std::lock_guard lock(m_mutex);
    Port& p = *m_ports[static_cast<std::size_t>(port)];
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
        return true;
    }
    return false;
}

void SimulatedCard::LineStateApplied(int port, const LineState& state) {
    std::lock_guard lock(m_mutex);
    UartFrame frame;
    frame.baud = state.BaudRate;
    frame.dataBits = std::clamp<std::uint8_t>(state.ByteSize, 5, 8);
    frame.parity = state.Parity <= line::kSpaceParity ? state.Parity : line::kNoParity;
    frame.stopBits = state.StopBits <= line::kTwoStopBits ? state.StopBits : line::kOneStopBit;
    m_ports[static_cast<std::size_t>(port)]->frame = frame;
}

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
            if (tag == kWakeTag) {
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
