#include "engine/SentStream.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <span>

namespace quorvel {
namespace {

// The newest start p in [first, last] where `bytes` holds `pattern`, with
// `before` just ahead of it when given. Where `before` is not just ahead of a
// match, the search goes on among the older ones.
std::optional<std::size_t> NewestMatch(std::span<const std::uint8_t> bytes, std::size_t first,
                                       std::size_t last, std::span<const std::uint8_t> pattern,
                                       std::span<const std::uint8_t> before) {
    if (first > last) {
        return std::nullopt;
    }
    const auto begin = bytes.begin() + static_cast<std::ptrdiff_t>(first);
    auto end = bytes.begin() + static_cast<std::ptrdiff_t>(last + pattern.size());
    while (true) {
        const auto found = std::find_end(begin, end, pattern.begin(), pattern.end());
        if (found == end) {
            return std::nullopt;
        }
        const auto offset = static_cast<std::size_t>(found - bytes.begin());
        if (offset >= before.size() &&
            std::equal(before.begin(), before.end(),
                       found - static_cast<std::ptrdiff_t>(before.size()))) {
            return offset;
        }
        end = found + static_cast<std::ptrdiff_t>(pattern.size()) - 1;
    }
}

// The newest bytes repeat with `period` from index `from` to the end.
struct Repeat {
    std::size_t period;
    std::size_t from;
};

// The longest period looked for, and the newest bytes that find it.
constexpr std::size_t kLongestPeriod = 8 * 1024;
constexpr std::size_t kPeriodProbe = 64;

// Whether the newest bytes repeat, as a pattern or file sent over and over
// does, and from where: a search can then pass over all but the newest
// period of them.
std::optional<Repeat> RepeatAtTheEnd(std::span<const std::uint8_t> bytes) {
    const std::size_t n = bytes.size();
    if (n < 2 * kPeriodProbe) {
        return std::nullopt;
    }
    const auto probe = bytes.end() - static_cast<std::ptrdiff_t>(kPeriodProbe);
    const std::size_t lowest =
        n > kPeriodProbe + kLongestPeriod ? n - kPeriodProbe - kLongestPeriod : 0;
    const auto found = std::find_end(bytes.begin() + static_cast<std::ptrdiff_t>(lowest),
                                     bytes.end() - 1, probe, bytes.end());
    if (found == bytes.end() - 1) {
        return std::nullopt;
    }
    const auto period = static_cast<std::size_t>(probe - found);
    // Back from the end, a block at a time, while each byte is the one a
    // period later.
    std::size_t from = n - period;
    constexpr std::size_t kBlock = 64;
    while (from >= kBlock &&
           std::memcmp(&bytes[from - kBlock], &bytes[from - kBlock + period], kBlock) == 0) {
        from -= kBlock;
    }
    while (from > 0 && bytes[from - 1] == bytes[from - 1 + period]) {
        --from;
    }
    return Repeat{period, from};
}

}  // namespace

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
    // One buffer a receive thread, kept between searches: a search copies
    // tens of kilobytes, and filling a fresh buffer first would double that.
    thread_local std::vector<std::uint8_t> kept;
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
    // were most likely sent last.
    const auto searchedFrom = static_cast<std::size_t>(from - copiedFrom);
    const std::size_t lastStart = kept.size() - after - size;
    const std::span<const std::uint8_t> bytes(kept);
    const std::span<const std::uint8_t> wanted(pattern, size);
    std::optional<std::size_t> found;
    if (const std::optional<Repeat> repeat = RepeatAtTheEnd(bytes)) {
        // A match that starts a period or more before the last start, with
        // `before` inside the repeating bytes, repeats a period later: past
        // the newest period, only the bytes before the repeat can hold the
        // newest match.
        const std::size_t window = lastStart >= repeat->period ? lastStart - repeat->period + 1 : 0;
        found = NewestMatch(bytes, std::max(searchedFrom, window), lastStart, wanted, before);
        const std::size_t olderEnd = std::min(window, repeat->from + before.size());
        if (!found && olderEnd > searchedFrom) {
            found = NewestMatch(bytes, searchedFrom, olderEnd - 1, wanted, before);
        }
    } else {
        found = NewestMatch(bytes, searchedFrom, lastStart, wanted, before);
    }
    if (!found) {
        return false;
    }
    position = copiedFrom + *found;
    return true;
}

bool SentStream::FindOldest(const std::uint8_t* pattern, std::size_t size, std::uint64_t earliest,
                            std::uint64_t& position) const {
    // One buffer a receive thread, kept between searches: a search copies
    // tens of kilobytes, and filling a fresh buffer first would double that.
    thread_local std::vector<std::uint8_t> kept;
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
