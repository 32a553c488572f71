#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <initializer_list>
#include <mutex>

namespace quorvel {

// What a wait on one or more events ended with.
enum class WaitResult { Signaled, Timeout };

// An auto-reset event: Set() lets exactly one wait through, then the event is
// non-signalled again. A Set() with nobody waiting is kept until the next wait.
// Any thread may Set or wait.
class AutoResetEvent {
  public:
    AutoResetEvent() = default;
    AutoResetEvent(const AutoResetEvent&) = delete;
    AutoResetEvent& operator=(const AutoResetEvent&) = delete;

    void Set();
    void Reset();

    // Waits until the event is signalled or `timeout` passes; kInfinite never times out.
    WaitResult Wait(std::chrono::milliseconds timeout);

    // Waits until one of `events` is signalled and returns its position in the
    // list (the first signalled one when several are), resetting only that one;
    // returns -1 when `timeout` passes first.
    static int WaitAny(std::initializer_list<AutoResetEvent*> events,
                       std::chrono::milliseconds timeout);

    static constexpr std::chrono::milliseconds kInfinite{-1};

  private:
    // All events share one mutex and condition variable so that a thread can
    // wait on several at once. A test has two events and a handful of waiters,
    // so the shared lock costs nothing measurable.
    static std::mutex& Mutex();
    static std::condition_variable& Changed();

    // Guarded by Mutex(); written by Set/Reset/the waits, read by the waits.
    bool m_bSignaled = false;
};

}  // namespace quorvel
