#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <span>
#include <thread>

#include "engine/PortCheck.h"

namespace quorvel {

// One port's receiving: its receive thread, what the thread has read, the
// check of those bytes against what their source sent, and the latest chunk
// as the receive display keeps it.
//
// Threads: the GUI thread starts and joins the receive thread and starts the
// check afresh at Run; the receive thread reads, counts, checks and keeps
// the latest chunk; any thread reads the counts and what the check found.
class PortReceiver {
  public:
    PortReceiver(const DataChecker::Streams& streams, int port) : m_check(streams, port) {}
    PortReceiver(const PortReceiver&) = delete;
    PortReceiver& operator=(const PortReceiver&) = delete;

    // The receive thread (GUI thread: started by Test > Start, joined by
    // close-all).
    void StartThread(std::thread thread) { m_pReadThread = std::move(thread); }
    bool ThreadStarted() const { return m_pReadThread.joinable(); }
    void JoinThread();

    // Receive thread: `size` more bytes were read from the port.
    void CountReceived(std::size_t size) { m_nBytesReceived += size; }
    // Bytes read since the program began; any thread.
    std::uint64_t BytesReceived() const { return m_nBytesReceived.load(); }

    // The check of what the port receives (see PortCheck for its threads).
    PortCheck& Check() { return m_check; }
    const PortCheck& Check() const { return m_check; }

    // The receive area: the latest chunk, kept whole with a NUL after it (it
    // is shown as text up to its first NUL). Receive thread only.
    std::span<const char> KeepLatest(std::span<const std::uint8_t> chunk);
    std::span<const char> Latest() const { return {m_szRxText.data(), m_nRxCount}; }

    // At most one read's worth: what a chunk may hold.
    static constexpr std::size_t kMostChunk = 450;

  private:
    std::thread m_pReadThread;                       // GUI thread
    std::atomic<std::uint64_t> m_nBytesReceived{0};  // receive thread writes, any reads
    PortCheck m_check;
    std::size_t m_nRxCount = 0;          // receive thread only
    std::array<char, 500> m_szRxText{};  // receive thread only
};

}  // namespace quorvel
