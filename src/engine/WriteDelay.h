#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

namespace quorvel {

// The pause after a packet, as the Delay dialog sets it: decimal text, 0 to
// 9999 ms. The text is the GUI thread's; the value is read whole by every
// sending thread. A pause under way ends early when the test stops.
class WriteDelay {
  public:
    WriteDelay() : m_strWriteDelay("10") {}

    // GUI thread.
    void Set(const std::string& text);
    const std::string& Text() const { return m_strWriteDelay; }
    // Any thread.
    int Ms() const { return m_nWriteDelayMs.load(); }

    // A sending thread pauses after a packet, until the delay has passed or
    // `testRunning` is false.
    void Wait(const std::atomic<bool>& testRunning);
    // Test > Stop: pauses under way end now (the flag is already false).
    void EndWaits();
    // Pauses begun since the program began.
    std::uint64_t Waited() const { return m_nWriteDelays.load(); }

    static constexpr int kMostMs = 9999;

  private:
    std::string m_strWriteDelay;           // GUI thread
    std::atomic<int> m_nWriteDelayMs{10};  // GUI thread writes, sending threads read
    std::atomic<std::uint64_t> m_nWriteDelays{0};
    std::mutex m_mutex;  // with m_ends: a pause that ends at Stop
    std::condition_variable m_ends;
};

}  // namespace quorvel
