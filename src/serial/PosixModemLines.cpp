#include "serial/PosixModemLines.h"

#include <linux/serial.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

namespace quorvel::posix {
namespace {

ModemLines LinesOfTiocm(int bits) {
    ModemLines lines;
    lines.cts = (bits & TIOCM_CTS) != 0;
    lines.dsr = (bits & TIOCM_DSR) != 0;
    lines.dcd = (bits & TIOCM_CAR) != 0;
    lines.ri = (bits & TIOCM_RNG) != 0;
    lines.dtr = (bits & TIOCM_DTR) != 0;
    lines.rts = (bits & TIOCM_RTS) != 0;
    return lines;
}

// The tty's counts since its driver began; false when it keeps none.
bool ReadTtyCounts(int fd, LineCounts& counts) {
    serial_icounter_struct icount{};
    if (::ioctl(fd, TIOCGICOUNT, &icount) != 0) {
        return false;
    }
    const auto count = [](int value) { return static_cast<std::uint64_t>(value < 0 ? 0 : value); };
    counts.ctsChanges = count(icount.cts);
    counts.dsrChanges = count(icount.dsr);
    counts.dcdChanges = count(icount.dcd);
    counts.riChanges = count(icount.rng);
    counts.framing = count(icount.frame);
    counts.parity = count(icount.parity);
    counts.overrun = count(icount.overrun);
    counts.bufferOverrun = count(icount.buf_overrun);
    counts.breaks = count(icount.brk);
    return true;
}

void DrainEventFd(int fd) {
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t n = ::read(fd, &count, sizeof count);
}

}  // namespace

PosixModemLines::PosixModemLines(int fd, std::shared_ptr<ModemLineDriver> driver)
    : m_fd(fd), m_driver(std::move(driver)) {
    int bits = 0;
    m_hasLines =
        m_driver ? m_driver->ReadLines(m_seenLines, m_atOpen) : ::ioctl(m_fd, TIOCMGET, &bits) == 0;
    if (!m_hasLines) {
        return;
    }
    if (!m_driver) {
        m_seenLines = LinesOfTiocm(bits);
        m_ttyCounts = ReadTtyCounts(m_fd, m_atOpen);
    }
    m_seenCounts = m_atOpen;
    m_changeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (m_changeFd < 0) {
        return;  // the lines can still be read; their changes go untold
    }
    if (m_driver) {
        m_driver->Watch(m_changeFd);
        return;
    }
    const int tty = m_fd;
    m_watch = std::make_unique<BlockingWatch>(
        [tty] {
            const int inputs = TIOCM_CTS | TIOCM_DSR | TIOCM_CAR | TIOCM_RNG;
            return ::ioctl(tty, TIOCMIWAIT, inputs) == 0 ? 0 : errno;
        },
        m_changeFd);
}

void PosixModemLines::Close() {
    m_watch.reset();
    if (m_changeFd >= 0) {
        if (m_driver) {
            m_driver->Unwatch(m_changeFd);
        }
        ::close(m_changeFd);
        m_changeFd = -1;
    }
    m_hasLines = false;
}

int PosixModemLines::Read(ModemLines& lines, LineCounts& counts) const {
    if (!m_hasLines) {
        return ENOTTY;
    }
    if (m_driver) {
        return m_driver->ReadLines(lines, counts) ? 0 : EIO;  // the driver's port is gone
    }
    int bits = 0;
    if (::ioctl(m_fd, TIOCMGET, &bits) != 0) {
        return errno;
    }
    lines = LinesOfTiocm(bits);
    counts = m_atOpen;  // a tty without counts: nothing counted since the open
    if (m_ttyCounts) {
        ReadTtyCounts(m_fd, counts);
    }
    return 0;
}

SerialResult PosixModemLines::Get(ModemLines& lines) const {
    LineCounts counts;
    const int error = Read(lines, counts);
    return error == 0 ? SerialResult::Done(SerialStep::ModemLines)
                      : SerialResult::Failure(SerialStep::ModemLines, error);
}

SerialResult PosixModemLines::Set(OutputLine line, bool on) {
    if (!m_hasLines) {
        return SerialResult::Failure(SerialStep::SetModemLine, ENOTTY);
    }
    if (m_driver) {
        return m_driver->SetOutputLine(line, on)
                   ? SerialResult::Done(SerialStep::SetModemLine)
                   : SerialResult::Failure(SerialStep::SetModemLine, EIO);
    }
    int bits = line == OutputLine::Dtr ? TIOCM_DTR : TIOCM_RTS;
    if (::ioctl(m_fd, on ? TIOCMBIS : TIOCMBIC, &bits) != 0) {
        return SerialResult::Failure(SerialStep::SetModemLine, errno);
    }
    return SerialResult::Done(SerialStep::SetModemLine);
}

SerialResult PosixModemLines::Counts(LineCounts& counts) const {
    ModemLines lines;
    LineCounts now;
    if (const int error = Read(lines, now); error != 0) {
        return SerialResult::Failure(SerialStep::LineCounts, error);
    }
    counts = now.Since(m_atOpen);
    return SerialResult::Done(SerialStep::LineCounts);
}

std::uint32_t PosixModemLines::TakeEvents(bool changeSeen, bool charsArrived) {
    if (changeSeen) {
        DrainEventFd(m_changeFd);
    }
    // A driver tells of every change and count through the descriptor; a
    // tty tells only of the lines, so its counts are looked at whenever
    // characters come.
    const bool look = changeSeen || (charsArrived && m_ttyCounts);
    ModemLines lines;
    LineCounts counts;
    if (!look || Read(lines, counts) != 0) {
        return 0;
    }
    const std::uint32_t events = LineEventsBetween(m_seenLines, m_seenCounts, lines, counts);
    m_seenLines = lines;
    m_seenCounts = counts;
    return events;
}

}  // namespace quorvel::posix
