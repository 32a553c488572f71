#include "engine/SentStream.h"

#include <algorithm>
#include <cstring>

namespace quorvel {

SentStream::SentStream() : m_ring(kCapacity) {}

void SentStream::Reset() {
    std::lock_guard lock(m_mutex);
    m_end = 0;
}

void SentStream::Append(const std::uint8_t* data, std::size_t size) {
    std::lock_guard lock(m_mutex);
    if (size > kCapacity) {
        data += size - kCapacity;
        m_end += size - kCapacity;
        size = kCapacity;
    }
    const std::size_t at = static_cast<std::size_t>(m_end % kCapacity);
    const std::size_t first = std::min(size, kCapacity - at);
    std::memcpy(m_ring.data() + at, data, first);
    std::memcpy(m_ring.data(), data + first, size - first);
    m_end += size;
}

void SentStream::Retract(std::size_t size) {
    std::lock_guard lock(m_mutex);
    m_end -= std::min<std::uint64_t>(size, m_end);
}

std::uint64_t SentStream::End() const {
    std::lock_guard lock(m_mutex);
    return m_end;
}

std::uint64_t SentStream::Start() const {
    std::lock_guard lock(m_mutex);
    return m_end > kCapacity ? m_end - kCapacity : 0;
}

std::size_t SentStream::Copy(std::uint64_t from, std::uint8_t* out, std::size_t size) const {
    std::lock_guard lock(m_mutex);
    const std::uint64_t start = m_end > kCapacity ? m_end - kCapacity : 0;
    if (from < start || from >= m_end) {
        return 0;
    }
    size = static_cast<std::size_t>(std::min<std::uint64_t>(size, m_end - from));
    if (size == 0) {
        return 0;  // an empty buffer may have no storage at all
    }
    const std::size_t at = static_cast<std::size_t>(from % kCapacity);
    const std::size_t first = std::min(size, kCapacity - at);
    std::memcpy(out, m_ring.data() + at, first);
    std::memcpy(out + first, m_ring.data(), size - first);
    return size;
}

bool SentStream::FindNewest(const std::uint8_t* pattern, std::size_t size, std::uint64_t earliest,
                            std::size_t after, std::uint64_t& position,
                            std::span<const std::uint8_t> before) const {
    std::vector<std::uint8_t> kept;
    std::uint64_t from = 0;
    std::uint64_t copiedFrom = 0;
    {
        std::lock_guard lock(m_mutex);
        const std::uint64_t start = m_end > kCapacity ? m_end - kCapacity : 0;
        from = std::max(start, earliest);
        if (from >= m_end || m_end - from < size + after) {
            return false;
        }
        // The bytes `before` needs ahead of `earliest` are copied too.
        copiedFrom = std::max(start, from - std::min<std::uint64_t>(from, before.size()));
        CopyToEnd(copiedFrom, kept);
    }
    // Searched from the newest end backwards: the bytes a receiver gets now
    // were most likely sent last. Where `before` is not just ahead of a
    // match, the search goes on among the older ones.
    const auto searched = kept.begin() + static_cast<std::ptrdiff_t>(from - copiedFrom);
    auto last = kept.end() - static_cast<std::ptrdiff_t>(after);
    while (true) {
        const auto found = std::find_end(searched, last, pattern, pattern + size);
        if (found == last) {
            return false;
        }
        const auto offset = static_cast<std::size_t>(found - kept.begin());
        if (offset >= before.size() &&
            std::equal(before.begin(), before.end(),
                       found - static_cast<std::ptrdiff_t>(before.size()))) {
            position = copiedFrom + offset;
            return true;
        }
        last = found + static_cast<std::ptrdiff_t>(size) - 1;
    }
}

bool SentStream::FindOldest(const std::uint8_t* pattern, std::size_t size, std::uint64_t earliest,
                            std::uint64_t& position) const {
    std::vector<std::uint8_t> kept;
    std::uint64_t from = 0;
    {
        std::lock_guard lock(m_mutex);
        const std::uint64_t start = m_end > kCapacity ? m_end - kCapacity : 0;
        from = std::max(start, earliest);
        if (from >= m_end || m_end - from < size) {
            return false;
        }
        CopyToEnd(from, kept);
    }
    const auto found = std::search(kept.begin(), kept.end(), pattern, pattern + size);
    if (found == kept.end()) {
        return false;
    }
    position = from + static_cast<std::uint64_t>(found - kept.begin());
    return true;
}

void SentStream::CopyToEnd(std::uint64_t from, std::vector<std::uint8_t>& out) const {
    out.resize(static_cast<std::size_t>(m_end - from));
    const std::size_t at = static_cast<std::size_t>(from % kCapacity);
    const std::size_t first = std::min(out.size(), kCapacity - at);
    std::memcpy(out.data(), m_ring.data() + at, first);
    std::memcpy(out.data() + first, m_ring.data(), out.size() - first);
}

}  // namespace quorvel
