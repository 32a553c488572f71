// The POSIX serial backend: termios, exclusive open, non-blocking transfers
// waited for with poll, and an eventfd that lets another thread release a
// pending event wait. Nothing here blocks without a time-out or a release.
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <utility>

#include "serial/ComDeviceLookup.h"
#include "serial/SerialDevice.h"
#include "serial/Transfers_posix.h"

namespace quorvel {
namespace {

using namespace posix;

struct BaudEntry {
    std::uint32_t rate;
    speed_t code;
};

constexpr std::array<BaudEntry, 14> kBaudCodes{{{110, B110},
                                                {300, B300},
                                                {600, B600},
                                                {1200, B1200},
                                                {2400, B2400},
                                                {4800, B4800},
                                                {9600, B9600},
                                                {19200, B19200},
                                                {38400, B38400},
                                                {57600, B57600},
                                                {115200, B115200},
                                                {230400, B230400},
                                                {460800, B460800},
                                                {921600, B921600}}};

bool SpeedCodeOf(std::uint32_t rate, speed_t& code) {
    for (const BaudEntry& entry : kBaudCodes) {
        if (entry.rate == rate) {
            code = entry.code;
            return true;
        }
    }
    return false;
}

std::uint32_t RateOf(speed_t code) {
    for (const BaudEntry& entry : kBaudCodes) {
        if (entry.code == code) {
            return entry.rate;
        }
    }
    return 0;
}

class PosixSerialDevice final : public SerialDevice {
  public:
    PosixSerialDevice(DriverPort port, int wakeFd, std::shared_ptr<DriverRequestHandler> driver)
        : m_fd(port.fd), m_wakeFd(wakeFd), m_port(std::move(port)), m_driver(std::move(driver)) {}

    ~PosixSerialDevice() override { Close(); }

    // The kernel's tty buffers have fixed sizes; there is nothing to set up.
    bool SetupQueues(std::uint32_t, std::uint32_t) override { return m_fd >= 0; }

    bool GetLineState(LineState& state) override {
        termios tio{};
        if (::tcgetattr(m_fd, &tio) != 0) {
            return false;
        }
        state = LineState{};
        state.BaudRate = RateOf(::cfgetospeed(&tio));
        state.fBinary = 1;
        switch (tio.c_cflag & CSIZE) {
            case CS5:
                state.ByteSize = 5;
                break;
            case CS6:
                state.ByteSize = 6;
                break;
            case CS7:
                state.ByteSize = 7;
                break;
            default:
                state.ByteSize = 8;
                break;
        }
        state.Parity = ParityOf(tio.c_cflag);
        state.fParity = (tio.c_iflag & INPCK) != 0 ? 1 : 0;
        if ((tio.c_cflag & CSTOPB) != 0) {
            state.StopBits = state.ByteSize == 5 ? line::kOne5StopBits : line::kTwoStopBits;
        }
        const bool hardware = (tio.c_cflag & CRTSCTS) != 0;
        state.fOutxCtsFlow = hardware ? 1 : 0;
        state.fRtsControl = hardware ? line::kRtsControlHandshake : line::kRtsControlEnable;
        state.fDtrControl = line::kDtrControlEnable;
        state.fOutX = (tio.c_iflag & IXON) != 0 ? 1 : 0;
        state.fInX = (tio.c_iflag & IXOFF) != 0 ? 1 : 0;
        state.fTXContinueOnXoff = (tio.c_iflag & IXANY) != 0 ? 1 : 0;
        state.XonChar = static_cast<char>(tio.c_cc[VSTART]);
        state.XoffChar = static_cast<char>(tio.c_cc[VSTOP]);
        return true;
    }

    bool SetLineState(const LineState& state) override {
        termios tio{};
        if (::tcgetattr(m_fd, &tio) != 0) {
            return false;
        }
        ::cfmakeraw(&tio);
        tio.c_cflag |= CLOCAL | CREAD;
        speed_t speed = B9600;
        const bool knownRate = SpeedCodeOf(state.BaudRate, speed);
        ::cfsetispeed(&tio, speed);
        ::cfsetospeed(&tio, speed);
        ApplyByteSize(state.ByteSize, tio);
        ApplyParity(state, tio);
        if (state.StopBits == line::kOneStopBit) {
            tio.c_cflag &= ~tcflag_t(CSTOPB);
        } else {
            tio.c_cflag |= CSTOPB;  // with five data bits the UART sends 1.5
        }
        // DSR output flow (fOutxDsrFlow) has no termios equivalent; CTS/RTS is
        // what hardware flow control means on Linux.
        const bool hardware =
            state.fOutxCtsFlow != 0 || state.fRtsControl == line::kRtsControlHandshake;
        if (hardware) {
            tio.c_cflag |= CRTSCTS;
        } else {
            tio.c_cflag &= ~tcflag_t(CRTSCTS);
        }
        SetFlag(tio.c_iflag, IXON, state.fOutX != 0);
        SetFlag(tio.c_iflag, IXOFF, state.fInX != 0);
        tio.c_cc[VMIN] = 0;
        tio.c_cc[VTIME] = 0;
        const bool applied = ::tcsetattr(m_fd, TCSANOW, &tio) == 0;
        RaiseModemLines(state);
        if (m_driver) {
            m_driver->LineStateApplied(state);
        }
        return applied && knownRate;
    }

    // A tty has no driver time-outs. None are needed: reads ask only for bytes
    // already queued, and CComPort's transfer time-out bounds every wait for a
    // write. The port keeps what it was given, as a driver would report it.
    bool SetTimeouts(const CommTimeouts& timeouts) override {
        m_timeouts = timeouts;
        return m_fd >= 0;
    }
    bool GetTimeouts(CommTimeouts& timeouts) override {
        timeouts = m_timeouts;
        return m_fd >= 0;
    }

    bool Purge(unsigned flags) override {
        const bool rx = (flags & (purge::kRxClear | purge::kRxAbort)) != 0;
        const bool tx = (flags & (purge::kTxClear | purge::kTxAbort)) != 0;
        if (!rx && !tx) {
            return m_fd >= 0;
        }
        const int queue = rx && tx ? TCIOFLUSH : (rx ? TCIFLUSH : TCOFLUSH);
        return ::tcflush(m_fd, queue) == 0;
    }

    // Any change of the mask releases a pending wait, as on Windows; the
    // release is kept until the next wait, so a mask cleared just before a
    // thread starts waiting still ends that wait.
    bool SetEventMask(std::uint32_t mask) override {
        if (m_fd < 0) {
            return false;
        }
        m_eventMask.store(mask);
        const std::uint64_t one = 1;
        return ::write(m_wakeFd, &one, sizeof one) == static_cast<ssize_t>(sizeof one);
    }

    CommWait WaitEvent(std::uint32_t& events, std::uint32_t timeoutMs) override {
        events = 0;
        if (m_fd < 0) {
            return CommWait::Failed;
        }
        const bool wantChars = (m_eventMask.load() & kEvRxChar) != 0;
        std::array<pollfd, 2> entries{
            {{m_wakeFd, POLLIN, 0}, {m_fd, static_cast<short>(wantChars ? POLLIN : 0), 0}}};
        int rc = 0;
        do {
            rc = ::poll(entries.data(), entries.size(), PollTimeout(timeoutMs));
        } while (rc < 0 && errno == EINTR);
        if (rc < 0) {
            return CommWait::Failed;
        }
        if (rc == 0) {
            return CommWait::TimedOut;
        }
        if ((entries[0].revents & POLLIN) != 0) {
            std::uint64_t count = 0;
            [[maybe_unused]] const ssize_t drained = ::read(m_wakeFd, &count, sizeof count);
            return CommWait::Released;
        }
        if ((entries[1].revents & kGone) != 0) {
            return CommWait::Failed;
        }
        events = kEvRxChar;
        return CommWait::Event;
    }

    bool BytesQueued(std::uint32_t& count) override {
        int queued = 0;
        if (::ioctl(m_fd, FIONREAD, &queued) != 0 || queued < 0) {
            return false;
        }
        count = static_cast<std::uint32_t>(queued);
        return true;
    }

    IoStart StartWrite(const std::uint8_t* data, std::uint32_t size, std::uint32_t& written,
                       std::unique_ptr<PendingTransfer>& pending) override {
        return Start(std::make_unique<PosixPendingWrite>(m_fd, m_writeTurn, data, size), written,
                     pending);
    }

    IoStart StartRead(std::uint8_t* buffer, std::uint32_t size, std::uint32_t& read,
                      std::unique_ptr<PendingTransfer>& pending) override {
        return Start(std::make_unique<PosixPendingRead>(m_fd, buffer, size), read, pending);
    }

    bool DriverRequest(std::uint32_t code, const std::uint8_t* data, std::size_t size) override {
        return m_fd >= 0 && m_driver && m_driver->HandleRequest(m_port, code, data, size);
    }

    void Close() override {
        if (m_fd >= 0) {
            ::flock(m_fd, LOCK_UN);
            ::close(m_fd);
            m_fd = -1;
        }
        if (m_wakeFd >= 0) {
            ::close(m_wakeFd);
            m_wakeFd = -1;
        }
    }

  private:
    // A transfer's first try: done at once, refused, or handed over pending.
    static IoStart Start(std::unique_ptr<PendingTransfer> transfer, std::uint32_t& count,
                         std::unique_ptr<PendingTransfer>& pending) {
        count = 0;
        switch (transfer->Poll(0)) {
            case IoPoll::Complete:
                count = transfer->BytesTransferred();
                return IoStart::Complete;
            case IoPoll::Failed:
                return IoStart::Failed;
            case IoPoll::Pending:
                break;
        }
        pending = std::move(transfer);
        return IoStart::Pending;
    }

    static std::uint8_t ParityOf(tcflag_t cflag) {
        if ((cflag & PARENB) == 0) {
            return line::kNoParity;
        }
        const bool odd = (cflag & PARODD) != 0;
        if ((cflag & CMSPAR) != 0) {
            return odd ? line::kMarkParity : line::kSpaceParity;
        }
        return odd ? line::kOddParity : line::kEvenParity;
    }

    static void SetFlag(tcflag_t& flags, tcflag_t bit, bool on) {
        if (on) {
            flags |= bit;
        } else {
            flags &= ~bit;
        }
    }

    static void ApplyByteSize(std::uint8_t byteSize, termios& tio) {
        tio.c_cflag &= ~tcflag_t(CSIZE);
        switch (byteSize) {
            case 5:
                tio.c_cflag |= CS5;
                break;
            case 6:
                tio.c_cflag |= CS6;
                break;
            case 7:
                tio.c_cflag |= CS7;
                break;
            default:
                tio.c_cflag |= CS8;
                break;
        }
    }

    static void ApplyParity(const LineState& state, termios& tio) {
        tio.c_cflag &= ~tcflag_t(PARENB | PARODD | CMSPAR);
        switch (state.Parity) {
            case line::kOddParity:
                tio.c_cflag |= PARENB | PARODD;
                break;
            case line::kEvenParity:
                tio.c_cflag |= PARENB;
                break;
            case line::kMarkParity:
                tio.c_cflag |= PARENB | CMSPAR | PARODD;
                break;
            case line::kSpaceParity:
                tio.c_cflag |= PARENB | CMSPAR;
                break;
            default:
                break;
        }
        SetFlag(tio.c_iflag, INPCK, state.fParity != 0 && state.Parity != line::kNoParity);
    }

    // DTR (and RTS when it is not under handshake) are raised as the line state
    // asks. Ttys without modem lines (pseudo-terminals) refuse; that is not an
    // error of the line settings.
    void RaiseModemLines(const LineState& state) const {
        int lines = 0;
        if (state.fDtrControl == line::kDtrControlEnable) {
            lines |= TIOCM_DTR;
        }
        if (state.fRtsControl == line::kRtsControlEnable) {
            lines |= TIOCM_RTS;
        }
        if (lines != 0) {
            [[maybe_unused]] const int rc = ::ioctl(m_fd, TIOCMBIS, &lines);
        }
    }

    int m_fd;                 // the tty; -1 once closed
    int m_wakeFd;             // eventfd written by SetEventMask to release WaitEvent
    const DriverPort m_port;  // what the driver is told of the port
    std::shared_ptr<DriverRequestHandler> m_driver;
    WriteTurn m_writeTurn;    // taken by each write for its whole length
    CommTimeouts m_timeouts;  // set at the port's open, on the thread that opens it
    // Written by any thread through SetEventMask, read by the waiting thread.
    std::atomic<std::uint32_t> m_eventMask{0};
};

}  // namespace

PortHandle OpenComDevice(int com, const std::string& /*deviceName*/, SerialFailure& failure) {
    failure = SerialFailure{};
    const std::optional<ComDevice> device = ActiveComDeviceResolver().Resolve(com);
    if (!device) {
        failure = MakeSerialFailure(OpenStep::NoDevice, "COM" + std::to_string(com), 0);
        return nullptr;
    }
    const int fd = ::open(device->path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        failure = MakeSerialFailure(OpenStep::Open, device->path, errno);
        return nullptr;
    }
    // Each step's error is taken before close() can change errno.
    auto fail = [&](OpenStep step, int code) {
        ::close(fd);
        failure = MakeSerialFailure(step, device->path, code);
        return nullptr;
    };
    if (!::isatty(fd)) {
        return fail(OpenStep::NotATerminal, errno);
    }
    // TIOCEXCL keeps other users out, but not root; the lock keeps out every
    // other opener that asks for it, root included.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        return fail(OpenStep::Busy, errno);
    }
    if (::ioctl(fd, TIOCEXCL) != 0) {
        return fail(OpenStep::Exclusive, errno);
    }
    const int wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd < 0) {
        return fail(OpenStep::ReleaseEvent, errno);
    }
    return std::make_shared<PosixSerialDevice>(DriverPort{fd, com, device->path}, wakeFd,
                                               device->driver);
}

}  // namespace quorvel
