// A wait that only a blocking call can make, on a thread of its own, told
// through an eventfd that a poll can watch. Private to the POSIX backend's
// files (and its tests).
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace quorvel::posix {

// Runs `wait` over and over on a thread of its own and writes `notifyFd` (an
// eventfd) each time it returns that something happened. Made for the
// kernel's wait for a tty's modem lines to change (TIOCMIWAIT), which has
// neither a time-out nor a descriptor to poll: the only way to end it is a
// signal to the thread that waits. So the watch ends it with a signal, and
// sends it again until the thread has left its wait: a signal that came just
// before the call began would otherwise be lost.
//
// Threads: made and destroyed by the thread that owns the device; the watch's
// own thread only calls `wait` and writes `notifyFd`.
class BlockingWatch {
  public:
    // `wait` answers 0 when something happened, EINTR when a signal ended it,
    // and any other error when it cannot wait (the watch then ends by itself).
    BlockingWatch(std::function<int()> wait, int notifyFd);
    // Ends the wait under way and joins the thread.
    ~BlockingWatch();
    BlockingWatch(const BlockingWatch&) = delete;
    BlockingWatch& operator=(const BlockingWatch&) = delete;

    // The signal that ends a wait: a real-time signal whose handler does
    // nothing, installed once for the process without SA_RESTART, so that
    // the call it interrupts returns EINTR.
    static int ReleaseSignal();
    // How long the watch waits for its thread to leave the wait before it
    // signals again.
    static constexpr int kResignalMs = 10;

  private:
    void Run();

    std::function<int()> m_wait;
    const int m_notifyFd;
    std::atomic<bool> m_stop{false};  // written by the owner, read by the watch's thread
    std::mutex m_mutex;
    std::condition_variable m_ended;
    bool m_done = false;  // guarded by m_mutex: the thread has left its last wait
    std::thread m_thread;
};

}  // namespace quorvel::posix
