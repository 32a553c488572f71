#include "engine/WriteDelay.h"

#include <chrono>

#include "core/DecimalText.h"

namespace quorvel {

void WriteDelay::Set(const std::string& text) {
    m_strWriteDelay = text;
    m_nWriteDelayMs = LeadingDigitsToInt(text, kMostMs);
}

void WriteDelay::Wait(const std::atomic<bool>& testRunning) {
    ++m_nWriteDelays;
    const int delay = m_nWriteDelayMs.load();
    if (delay <= 0) {
        return;
    }
    std::unique_lock lock(m_mutex);
    m_ends.wait_for(lock, std::chrono::milliseconds(delay),
                    [&testRunning] { return !testRunning.load(); });
}

void WriteDelay::EndWaits() {
    {
        std::lock_guard lock(m_mutex);  // a pause under way sees the flag
    }
    m_ends.notify_all();
}

}  // namespace quorvel
