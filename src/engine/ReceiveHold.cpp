#include "engine/ReceiveHold.h"

#include <algorithm>

namespace quorvel {

void ReceiveHold::Schedule(std::uint32_t startInMs, std::uint32_t lengthMs) {
    std::lock_guard lock(m_mutex);
    m_start = Clock::now() + std::chrono::milliseconds(startInMs);
    m_end = *m_start + std::chrono::milliseconds(lengthMs);
}

void ReceiveHold::Release() {
    {
        std::lock_guard lock(m_mutex);
        m_start.reset();
    }
    m_released.notify_all();
}

std::uint32_t ReceiveHold::MsUntilHold(std::uint32_t noHold) const {
    std::lock_guard lock(m_mutex);
    if (!m_start) {
        return noHold;
    }
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(*m_start - Clock::now());
    return static_cast<std::uint32_t>(std::clamp<std::int64_t>(left.count(), 0, noHold - 1));
}

bool ReceiveHold::WaitThrough() {
    std::unique_lock lock(m_mutex);
    if (!m_start || Clock::now() < *m_start) {
        return false;
    }
    m_released.wait_until(lock, m_end, [this] { return !m_start; });
    m_start.reset();
    m_held = true;
    return true;
}

bool ReceiveHold::Held() const {
    std::lock_guard lock(m_mutex);
    return m_held;
}

}  // namespace quorvel
