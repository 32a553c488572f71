#include "serial/BlockingWatch_posix.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>

namespace quorvel::posix {
namespace {

void IgnoreRelease(int) {}

}  // namespace

int BlockingWatch::ReleaseSignal() {
    static const int signal = [] {
        const int chosen = SIGRTMIN + 4;
        struct sigaction action {};
        action.sa_handler = IgnoreRelease;
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0;  // no SA_RESTART: the interrupted call returns EINTR
        ::sigaction(chosen, &action, nullptr);
        return chosen;
    }();
    return signal;
}

BlockingWatch::BlockingWatch(std::function<int()> wait, int notifyFd)
    : m_wait(std::move(wait)), m_notifyFd(notifyFd) {
    ReleaseSignal();  // installed before the thread can be signalled
    m_thread = std::thread([this] { Run(); });
}

BlockingWatch::~BlockingWatch() {
    m_stop = true;
    std::unique_lock lock(m_mutex);
    while (!m_done) {
        // The thread may be in its wait, or about to enter it: it is told
        // again after a while until it has left.
        ::pthread_kill(m_thread.native_handle(), ReleaseSignal());
        m_ended.wait_for(lock, std::chrono::milliseconds(kResignalMs));
    }
    lock.unlock();
    m_thread.join();
}

void BlockingWatch::Run() {
    while (!m_stop.load()) {
        const int result = m_wait();
        if (result == 0) {
            const std::uint64_t one = 1;
            [[maybe_unused]] const ssize_t n = ::write(m_notifyFd, &one, sizeof one);
        } else if (result != EINTR) {
            break;  // the device cannot wait: nothing more will be told
        }
    }
    {
        std::lock_guard lock(m_mutex);
        m_done = true;
    }
    m_ended.notify_all();
}

}  // namespace quorvel::posix
