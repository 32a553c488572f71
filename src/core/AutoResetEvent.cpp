#include "core/AutoResetEvent.h"

#include <vector>

namespace quorvel {

std::mutex& AutoResetEvent::Mutex() {
    static std::mutex mutex;
    return mutex;
}

std::condition_variable& AutoResetEvent::Changed() {
    static std::condition_variable changed;
    return changed;
}

void AutoResetEvent::Set() {
    {
        std::lock_guard lock(Mutex());
        m_bSignaled = true;
    }
    Changed().notify_all();
}

void AutoResetEvent::Reset() {
    std::lock_guard lock(Mutex());
    m_bSignaled = false;
}

WaitResult AutoResetEvent::Wait(std::chrono::milliseconds timeout) {
    return WaitAny({this}, timeout) == 0 ? WaitResult::Signaled : WaitResult::Timeout;
}

int AutoResetEvent::WaitAny(std::initializer_list<AutoResetEvent*> events,
                            std::chrono::milliseconds timeout) {
    const std::vector<AutoResetEvent*> list(events);
    auto takeSignaled = [&list]() -> int {
        for (std::size_t i = 0; i < list.size(); ++i) {
            if (list[i]->m_bSignaled) {
                list[i]->m_bSignaled = false;
                return static_cast<int>(i);
            }
        }
        return -1;
    };

    std::unique_lock lock(Mutex());
    if (timeout < std::chrono::milliseconds::zero()) {
        int index = -1;
        Changed().wait(lock, [&] { return (index = takeSignaled()) >= 0; });
        return index;
    }
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    int index = -1;
    Changed().wait_until(lock, deadline, [&] { return (index = takeSignaled()) >= 0; });
    return index;
}

}  // namespace quorvel
