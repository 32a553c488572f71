#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>

namespace quorvel {

// A pause in a port's reading, as a program that stops reading makes one,
// to prove flow control: from a moment on, for a while, the port's receive
// thread reads nothing, and what arrives waits in the port's receive queue,
// or is lost there.
//
// Threads: the GUI thread schedules a hold and releases it at Test > Stop;
// the port's receive thread waits through it.
class ReceiveHold {
  public:
    // The port reads nothing from `startInMs` from now for `lengthMs`.
    void Schedule(std::uint32_t startInMs, std::uint32_t lengthMs);
    // Test > Stop: a hold under way or to come ends now.
    void Release();

    // Receive thread: how long it may wait for events before a hold begins;
    // `noHold` when none is to come.
    std::uint32_t MsUntilHold(std::uint32_t noHold) const;
    // Receive thread: while a hold is in force, sleeps until it ends or is
    // released. True when it held the thread.
    bool WaitThrough();
    // A hold has run its course since the program began (any thread).
    bool Held() const;

  private:
    using Clock = std::chrono::steady_clock;

    mutable std::mutex m_mutex;
    std::condition_variable m_released;
    // The hold to come or under way; guarded by m_mutex.
    std::optional<Clock::time_point> m_start;
    Clock::time_point m_end;
    bool m_held = false;  // guarded by m_mutex
};

}  // namespace quorvel
