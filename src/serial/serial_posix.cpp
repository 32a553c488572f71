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

#include <algorithm>
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
#include "serial/PosixModemLines.h"
#include "serial/SerialDevice.h"
#include "serial/TermiosSettings_posix.h"
#include "serial/Transfers_posix.h"

namespace quorvel {
namespace {

using namespace posix;

// A failed step with the system's error as it stands.
SerialResult ErrnoFailure(SerialStep step) {
    return SerialResult::Failure(step, errno);
}

class PosixSerialDevice final : public SerialDevice {
  public:
    PosixSerialDevice(DriverPort port, int wakeFd, std::shared_ptr<DriverRequestHandler> driver,
                      std::shared_ptr<ModemLineDriver> lines)
        : m_fd(port.fd),
          m_wakeFd(wakeFd),
          m_port(std::move(port)),
          m_driver(std::move(driver)),
          m_lines(m_fd, std::move(lines)) {}

    ~PosixSerialDevice() override {
        static_cast<void>(Close());  // nobody is left to be told of a failed close
    }

    // The kernel's tty buffers have fixed sizes; there is nothing to set up.
    SerialResult SetupQueues(std::uint32_t, std::uint32_t) override {
        return Answer(SerialStep::SetupQueues);
    }

    SerialResult GetLineSettings(LineSettings& settings) override {
        termios tio{};
        if (::tcgetattr(m_fd, &tio) != 0) {
            return ErrnoFailure(SerialStep::GetLineSettings);
        }
        settings = ReadLineSettings(tio);
        settings.dtrOn = m_dtrOn;
        return SerialResult::Done(SerialStep::GetLineSettings);
    }

    SerialResult SetLineSettings(const LineSettings& settings) override {
        termios tio{};
        if (::tcgetattr(m_fd, &tio) != 0) {
            return ErrnoFailure(SerialStep::SetLineSettings);
        }
        const bool knownRate = ApplyLineSettings(settings, tio);
        const int error = ::tcsetattr(m_fd, TCSANOW, &tio) == 0 ? 0 : errno;
        // A pseudo-terminal refuses data bits and parity it cannot carry; the
        // driver still learns what the program asked for.
        RaiseModemLines(settings);
        if (m_driver) {
            m_driver->LineSettingsApplied(settings);
        }
        if (error != 0 || !knownRate) {
            return SerialResult::Failure(SerialStep::SetLineSettings, error != 0 ? error : EINVAL);
        }
        return SerialResult::Done(SerialStep::SetLineSettings);
    }

    // A tty has no driver time-outs. None are needed: reads ask only for bytes
    // already queued, and CComPort's transfer time-out bounds every wait for a
    // write. The port keeps what it was given, as a driver would report it.
    SerialResult SetTimeouts(const CommTimeouts& timeouts) override {
        m_timeouts = timeouts;
        return Answer(SerialStep::SetTimeouts);
    }
    SerialResult GetTimeouts(CommTimeouts& timeouts) override {
        timeouts = m_timeouts;
        return Answer(SerialStep::GetTimeouts);
    }

    SerialResult Purge(unsigned flags) override {
        const bool rx = (flags & (purge::kRxClear | purge::kRxAbort)) != 0;
        const bool tx = (flags & (purge::kTxClear | purge::kTxAbort)) != 0;
        if (!rx && !tx) {
            return Answer(SerialStep::Purge);
        }
        const int queue = rx && tx ? TCIOFLUSH : (rx ? TCIFLUSH : TCOFLUSH);
        if (::tcflush(m_fd, queue) != 0) {
            return ErrnoFailure(SerialStep::Purge);
        }
        if (tx && m_driver) {
            m_driver->OutputDiscarded();
        }
        return SerialResult::Done(SerialStep::Purge);
    }

    // Any change of the mask releases a pending wait, as on Windows; the
    // release is kept until the next wait, so a mask cleared just before a
    // thread starts waiting still ends that wait.
    SerialResult SetEventMask(std::uint32_t mask) override {
        if (m_fd < 0) {
            return Answer(SerialStep::SetEventMask);
        }
        m_eventMask.store(mask);
        const std::uint64_t one = 1;
        if (::write(m_wakeFd, &one, sizeof one) != static_cast<ssize_t>(sizeof one)) {
            return ErrnoFailure(SerialStep::SetEventMask);
        }
        return SerialResult::Done(SerialStep::SetEventMask);
    }

    // Characters and, when the mask asks for them, the changes of the modem
    // lines and the line's faults, as the port's lines tell of them. A wake
    // that brings none of what the mask asks for waits on for the rest of
    // the time.
    SerialResult WaitEvent(std::uint32_t& events, std::uint32_t timeoutMs) override {
        events = 0;
        if (m_fd < 0) {
            return Answer(SerialStep::WaitEvent);
        }
        const WaitBudget budget(timeoutMs);
        for (;;) {
            const std::uint32_t mask = m_eventMask.load();
            const bool wantChars = (mask & kEvRxChar) != 0;
            const bool wantLines = (mask & kEvLines) != 0 && m_lines.ChangeFd() >= 0;
            std::array<pollfd, 3> entries{{{m_wakeFd, POLLIN, 0},
                                           {m_fd, static_cast<short>(wantChars ? POLLIN : 0), 0},
                                           {wantLines ? m_lines.ChangeFd() : -1, POLLIN, 0}}};
            const SerialResult waited = PollForEvents(entries, budget.Left());
            if (waited.outcome != SerialOutcome::Done) {
                return waited;
            }
            const bool chars = (entries[1].revents & POLLIN) != 0;
            const bool changed = (entries[2].revents & POLLIN) != 0;
            events = chars ? kEvRxChar : 0u;
            if (wantLines) {
                events |= m_lines.TakeEvents(changed, chars) & mask;
            }
            if (events != 0) {
                return SerialResult::Done(SerialStep::WaitEvent);
            }
        }
    }

    SerialResult GetModemLines(ModemLines& lines) override { return m_lines.Get(lines); }
    SerialResult SetOutputLine(OutputLine line, bool on) override { return m_lines.Set(line, on); }
    SerialResult GetLineCounts(LineCounts& counts) override { return m_lines.Counts(counts); }

    SerialResult BytesQueued(std::uint32_t& count) override {
        int queued = 0;
        if (::ioctl(m_fd, FIONREAD, &queued) != 0) {
            return ErrnoFailure(SerialStep::BytesQueued);
        }
        count = static_cast<std::uint32_t>(std::max(queued, 0));
        return SerialResult::Done(SerialStep::BytesQueued);
    }

    SerialResult StartWrite(const std::uint8_t* data, std::uint32_t size, std::uint32_t& written,
                            std::unique_ptr<PendingTransfer>& pending) override {
        return Start(std::make_unique<PosixPendingWrite>(m_fd, m_writeTurn, data, size, m_driver),
                     written, pending);
    }

    SerialResult StartRead(std::uint8_t* buffer, std::uint32_t size, std::uint32_t& read,
                           std::unique_ptr<PendingTransfer>& pending) override {
        return Start(std::make_unique<PosixPendingRead>(m_fd, buffer, size), read, pending);
    }

    // The driver answers yes or no and gives no system error; a port whose
    // COM lookup gave no driver has nobody to answer at all.
    SerialResult DriverRequest(std::uint32_t code, const std::uint8_t* data,
                               std::size_t size) override {
        if (m_fd < 0) {
            return Answer(SerialStep::DriverRequest);
        }
        const bool accepted = m_driver && m_driver->HandleRequest(m_port, code, data, size);
        return accepted ? SerialResult::Done(SerialStep::DriverRequest)
                        : SerialResult::Failure(SerialStep::DriverRequest, 0);
    }

    SerialResult Close() override {
        int error = 0;
        m_lines.Close();  // its watch and its driver let go before the tty does
        if (m_fd >= 0) {
            ::flock(m_fd, LOCK_UN);
            if (::close(m_fd) != 0) {
                error = errno;
            }
            m_fd = -1;
        }
        if (m_wakeFd >= 0) {
            ::close(m_wakeFd);
            m_wakeFd = -1;
        }
        return error == 0 ? SerialResult::Done(SerialStep::Close)
                          : SerialResult::Failure(SerialStep::Close, error);
    }

  private:
    // One poll of the wait set: Done when a descriptor is ready, Released by
    // a change of the mask, TimedOut, or Failed (the tty gone).
    SerialResult PollForEvents(std::array<pollfd, 3>& entries, std::uint32_t waitMs) {
        int rc = 0;
        do {
            rc = ::poll(entries.data(), entries.size(), PollTimeout(waitMs));
        } while (rc < 0 && errno == EINTR);
        if (rc < 0) {
            return ErrnoFailure(SerialStep::WaitEvent);
        }
        if (rc == 0) {
            return SerialResult::Of(SerialOutcome::TimedOut, SerialStep::WaitEvent);
        }
        if ((entries[0].revents & POLLIN) != 0) {
            std::uint64_t count = 0;
            [[maybe_unused]] const ssize_t drained = ::read(m_wakeFd, &count, sizeof count);
            return SerialResult::Of(SerialOutcome::Released, SerialStep::WaitEvent);
        }
        if ((entries[1].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
            return SerialResult::Failure(SerialStep::WaitEvent, GoneError(entries[1].revents));
        }
        return SerialResult::Done(SerialStep::WaitEvent);
    }

    // A step that asks nothing of the system: done while the port is open.
    SerialResult Answer(SerialStep step) const {
        return m_fd >= 0 ? SerialResult::Done(step) : SerialResult::Failure(step, EBADF);
    }

    // The system's error for a tty that poll reported gone: what the next
    // call on it answers (EIO once the other side has hung up).
    int GoneError(short revents) const {
        if ((revents & POLLNVAL) != 0) {
            return EBADF;
        }
        int queued = 0;
        return ::ioctl(m_fd, FIONREAD, &queued) != 0 ? errno : 0;
    }

    // A transfer's first try: done at once, refused, or handed over pending.
    static SerialResult Start(std::unique_ptr<PendingTransfer> transfer, std::uint32_t& count,
                              std::unique_ptr<PendingTransfer>& pending) {
        count = 0;
        const SerialResult result = transfer->Poll(0);
        if (result.Ok()) {
            count = transfer->BytesTransferred();
        } else if (result.outcome == SerialOutcome::Pending) {
            pending = std::move(transfer);
        }
        return result;
    }

    // DTR is raised or dropped as the settings ask, and RTS raised when it
    // is not under handshake (where the handshake drives it). A device
    // without lines (a pseudo-terminal no card answers for) refuses; that is
    // not an error of the line settings.
    void RaiseModemLines(const LineSettings& settings) {
        m_dtrOn = settings.dtrOn;
        static_cast<void>(m_lines.Set(OutputLine::Dtr, settings.dtrOn));
        if (settings.flowControl != FlowControl::Hardware) {
            static_cast<void>(m_lines.Set(OutputLine::Rts, true));
        }
    }

    int m_fd;                 // the tty; -1 once closed
    int m_wakeFd;             // eventfd written by SetEventMask to release WaitEvent
    const DriverPort m_port;  // what the driver is told of the port
    std::shared_ptr<DriverRequestHandler> m_driver;
    WriteTurn m_writeTurn;    // taken by each write for its whole length
    CommTimeouts m_timeouts;  // set at the port's open, on the thread that opens it
    bool m_dtrOn = true;      // DTR as the last settings asked; the thread that opens the port
    // Written by any thread through SetEventMask, read by the waiting thread.
    std::atomic<std::uint32_t> m_eventMask{0};
    posix::PosixModemLines m_lines;  // made with the device, closed by Close
};

}  // namespace

PortHandle OpenComDevice(int com, const std::string& /*deviceName*/, SerialFailure& failure) {
    failure = SerialFailure{};
    const std::optional<ComDevice> device = ActiveComDeviceResolver().Resolve(com);
    if (!device) {
        failure = MakeSerialFailure(SerialStep::NoDevice, "COM" + std::to_string(com), 0);
        return nullptr;
    }
    const int fd = ::open(device->path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        failure = MakeSerialFailure(SerialStep::Open, device->path, errno);
        return nullptr;
    }
    // Each step's error is taken before close() can change errno.
    auto fail = [&](SerialStep step, int code) {
        ::close(fd);
        failure = MakeSerialFailure(step, device->path, code);
        return nullptr;
    };
    if (!::isatty(fd)) {
        return fail(SerialStep::NotATerminal, errno);
    }
    // TIOCEXCL keeps other users out, but not root; the lock keeps out every
    // other opener that asks for it, root included.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        return fail(SerialStep::Busy, errno);
    }
    if (::ioctl(fd, TIOCEXCL) != 0) {
        return fail(SerialStep::Exclusive, errno);
    }
    const int wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd < 0) {
        return fail(SerialStep::ReleaseEvent, errno);
    }
    return std::make_shared<PosixSerialDevice>(DriverPort{fd, com, device->path}, wakeFd,
                                               device->driver, device->lines);
}

}  // namespace quorvel
