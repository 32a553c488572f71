// The POSIX backend's transfers: a write or read on a non-blocking tty that is
// waited for with poll, and the turn that keeps two writers' requests on one
// port from interleaving. Private to the POSIX backend's files.
#pragma once

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "serial/ComDeviceLookup.h"
#include "serial/SerialDevice.h"

namespace quorvel::posix {

// What is left of a wait of `waitMs` begun when the budget was made
// (kWaitForever stays forever).
class WaitBudget {
  public:
    explicit WaitBudget(std::uint32_t waitMs)
        : m_waitMs(waitMs), m_start(std::chrono::steady_clock::now()) {}
    std::uint32_t Left() const {
        if (m_waitMs == SerialDevice::kWaitForever) {
            return m_waitMs;
        }
        const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(
                               std::chrono::steady_clock::now() - m_start)
                               .count();
        return spent >= m_waitMs ? 0 : m_waitMs - static_cast<std::uint32_t>(spent);
    }

  private:
    const std::uint32_t m_waitMs;
    const std::chrono::steady_clock::time_point m_start;
};

inline int PollTimeout(std::uint32_t waitMs) {
    if (waitMs == SerialDevice::kWaitForever) {
        return -1;
    }
    return waitMs > static_cast<std::uint32_t>(INT_MAX) ? INT_MAX : static_cast<int>(waitMs);
}

inline constexpr short kGone = POLLERR | POLLHUP | POLLNVAL;

// Waits for `events` on `fd` at most `waitMs`. 0 when the wait ended (ready,
// hung up, out of time or interrupted: the next attempt tells which), else
// the system's error: that of the poll, or EBADF for a descriptor that is no
// longer open, which no attempt may touch again.
inline int WaitReady(int fd, short events, std::uint32_t waitMs) {
    pollfd entry{fd, events, 0};
    const int rc = ::poll(&entry, 1, PollTimeout(waitMs));
    if (rc < 0) {
        return errno == EINTR ? 0 : errno;
    }
    return (entry.revents & POLLNVAL) != 0 ? EBADF : 0;
}

inline bool WouldBlock(int error) {
    return error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
}

// One poll of a transfer at `step`: `attempt` moves what it can; while it is
// still pending and the caller gives time, the tty is waited for once and
// tried again. A device that hung up fails that second try with its own error.
template <typename Attempt>
SerialResult AttemptThenWait(int fd, short events, std::uint32_t waitMs, SerialStep step,
                             Attempt attempt) {
    const SerialResult result = attempt();
    if (result.outcome != SerialOutcome::Pending || waitMs == 0) {
        return result;
    }
    if (const int error = WaitReady(fd, events, waitMs); error != 0) {
        return SerialResult::Failure(step, error);
    }
    return attempt();
}

// The right to write on a port: held by one write request from its first byte
// to its last. (A condition variable rather than a timed mutex, whose timed
// lock ThreadSanitizer cannot follow.)
class WriteTurn {
  public:
    // Waits at most `waitMs` for the turn; true when it is taken.
    bool Take(std::uint32_t waitMs) {
        std::unique_lock lock(m_mutex);
        const auto free = [this] { return !m_busy; };
        if (waitMs == SerialDevice::kWaitForever) {
            m_released.wait(lock, free);
        } else if (!m_released.wait_for(lock, std::chrono::milliseconds(waitMs), free)) {
            return false;
        }
        m_busy = true;
        return true;
    }

    void Give() {
        {
            std::lock_guard lock(m_mutex);
            m_busy = false;
        }
        m_released.notify_one();
    }

  private:
    std::mutex m_mutex;
    std::condition_variable m_released;
    bool m_busy = false;  // guarded by m_mutex
};

// A write on the tty. Writes on one port go out one whole request after the
// other, as a serial driver queues them: a write waits until the one before it
// is done, so two threads' packets never interleave on the line.
class PosixPendingWrite final : public PendingTransfer {
  public:
    // `driver`, when the port has one, hears of every piece the tty takes.
    PosixPendingWrite(int fd, WriteTurn& turn, const std::uint8_t* data, std::uint32_t size,
                      std::shared_ptr<DriverRequestHandler> driver = nullptr)
        : m_fd(fd), m_turn(turn), m_data(data), m_size(size), m_driver(std::move(driver)) {}

    ~PosixPendingWrite() override {
        if (m_hasTurn) {
            m_turn.Give();
        }
    }

    // The wait for the turn and the wait for room share the time given: a
    // poll never waits longer than that, however the two fall.
    SerialResult Poll(std::uint32_t waitMs) override {
        const WaitBudget budget(waitMs);
        if (!m_hasTurn) {
            m_hasTurn = m_turn.Take(waitMs);
            if (!m_hasTurn) {
                return SerialResult::Of(SerialOutcome::Pending, SerialStep::Write);
            }
        }
        return AttemptThenWait(m_fd, POLLOUT, budget.Left(), SerialStep::Write,
                               [this] { return WriteMore(); });
    }

    // The descriptor and events a wait for this write's progress can watch;
    // false while the write waits for its turn, which no descriptor shows.
    bool WaitableBy(pollfd& entry) const {
        if (!m_hasTurn) {
            return false;
        }
        entry = pollfd{m_fd, POLLOUT, 0};
        return true;
    }

    std::uint32_t BytesTransferred() const override { return m_done; }

  private:
    SerialResult WriteMore() {
        while (m_done < m_size) {
            const ssize_t n = ::write(m_fd, m_data + m_done, m_size - m_done);
            if (n < 0) {
                const int error = errno;
                return WouldBlock(error)
                           ? SerialResult::Of(SerialOutcome::Pending, SerialStep::Write)
                           : SerialResult::Failure(SerialStep::Write, error);
            }
            m_done += static_cast<std::uint32_t>(n);
            if (m_driver) {
                m_driver->OutputWritten(static_cast<std::size_t>(n));
            }
        }
        return SerialResult::Done(SerialStep::Write);
    }

    int m_fd;
    WriteTurn& m_turn;
    bool m_hasTurn = false;
    const std::uint8_t* m_data;
    std::uint32_t m_size;
    std::uint32_t m_done = 0;
    const std::shared_ptr<DriverRequestHandler> m_driver;  // may be null
};

// A read of bytes the tty reported but had not yet handed over.
class PosixPendingRead final : public PendingTransfer {
  public:
    PosixPendingRead(int fd, std::uint8_t* buffer, std::uint32_t size)
        : m_fd(fd), m_buffer(buffer), m_size(size) {}

    SerialResult Poll(std::uint32_t waitMs) override {
        return AttemptThenWait(m_fd, POLLIN, waitMs, SerialStep::Read,
                               [this] { return ReadSome(); });
    }

    std::uint32_t BytesTransferred() const override { return m_done; }

  private:
    SerialResult ReadSome() {
        const ssize_t n = ::read(m_fd, m_buffer, m_size);
        if (n > 0) {
            m_done = static_cast<std::uint32_t>(n);
            return SerialResult::Done(SerialStep::Read);
        }
        const int error = n < 0 ? errno : 0;  // 0 bytes: the other side hung up
        if (n < 0 && WouldBlock(error)) {
            return SerialResult::Of(SerialOutcome::Pending, SerialStep::Read);
        }
        return SerialResult::Failure(SerialStep::Read, error);
    }

    int m_fd;
    std::uint8_t* m_buffer;
    std::uint32_t m_size;
    std::uint32_t m_done = 0;
};

}  // namespace quorvel::posix
