#include "engine/PortReceiver.h"

#include <algorithm>

namespace quorvel {

void PortReceiver::JoinThread() {
    if (m_pReadThread.joinable()) {
        m_pReadThread.join();
    }
}

std::span<const char> PortReceiver::KeepLatest(std::span<const std::uint8_t> chunk) {
    m_nRxCount = std::min(chunk.size(), kMostChunk);
    std::copy_n(chunk.begin(), m_nRxCount, m_szRxText.begin());
    m_szRxText[m_nRxCount] = '\0';
    return Latest();
}

}  // namespace quorvel
