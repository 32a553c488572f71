#include "engine/SentStream.h"

#include <algorithm>
#include <cstring>

namespace quorvel {
namespace {

// Write times are kept a millisecond at a time, for more than any byte can be
// on its way; runs, for more than the ring can hold.
constexpr std::size_t kMostWriteTimes = 16 * 1024;
constexpr std::size_t kMostRuns = 64;
// Places of one key walked through before the run's period is used instead:
// a stream of few values (one letter over and over) holds a key everywhere.
constexpr std::size_t kMostIndexSteps = 2048;

}  // namespace

SentStream::SentStream() : m_ring(kCapacity), m_index(kCapacity) {}

void SentStream::Reset(std::uint64_t tailMs, bool indexed) {
    std::lock_guard lock(m_mutex);
    m_end = 0;
    m_tailMs = tailMs;
    m_indexed = indexed;
    m_index.Clear();
    m_indexedTo = 0;
    m_written.clear();
    m_writtenFrom = 0;
    m_runs.clear();
}

std::uint64_t SentStream::TailMs() const {
    std::lock_guard lock(m_mutex);
    return m_tailMs;
}

void SentStream::BeginRun(std::uint64_t period) {
    std::lock_guard lock(m_mutex);
    if (!m_runs.empty() && m_runs.back().from == m_end) {
        m_runs.back().period = period;  // the last run sent nothing
    } else {
        m_runs.push_back({m_end, period});
    }
    if (m_runs.size() > kMostRuns) {
        m_runs.pop_front();
    }
}

void SentStream::Append(const std::uint8_t* data, std::size_t size, std::uint64_t nowMs) {
    if (size == 0) {
        return;
    }
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
    const std::uint64_t from = m_end;
    m_end += size;
    if (!m_written.empty() && m_written.back().ms == nowMs && m_written.back().end == from) {
        m_written.back().end = m_end;
    } else {
        if (m_written.empty()) {
            m_writtenFrom = from;
        }
        m_written.push_back({m_end, nowMs});
        if (m_written.size() > kMostWriteTimes) {
            m_writtenFrom = m_written.front().end;
            m_written.pop_front();
        }
    }
    if (m_indexed) {
        IndexNewBytes();
    }
}

void SentStream::IndexNewBytes() {
    // Every key that now lies whole in the stream and is not indexed yet.
    std::uint64_t place = std::max(m_indexedTo, StartLocked());
    if (place + kKeyBytes > m_end) {
        return;
    }
    std::uint64_t key = KeyAt(place);
    for (;;) {
        m_index.Add(place, key);
        ++place;
        if (place + kKeyBytes > m_end) {
            break;
        }
        key = key << 8 | m_ring[static_cast<std::size_t>((place + kKeyBytes - 1) % kCapacity)];
    }
    m_indexedTo = place;
}

void SentStream::Retract(std::size_t size) {
    std::lock_guard lock(m_mutex);
    const std::uint64_t taken = std::min<std::uint64_t>(size, m_end - StartLocked());
    m_end -= taken;
    while (!m_written.empty() && m_written.back().end > m_end) {
        const std::uint64_t start =
            m_written.size() > 1 ? m_written[m_written.size() - 2].end : m_writtenFrom;
        if (start >= m_end) {
            m_written.pop_back();
        } else {
            m_written.back().end = m_end;
        }
    }
    // Keys that reached into the bytes taken back are indexed again when
    // other bytes take their place.
    m_indexedTo = std::min(m_indexedTo, m_end >= kKeyBytes - 1 ? m_end - (kKeyBytes - 1) : 0);
}

std::uint64_t SentStream::End() const {
    std::lock_guard lock(m_mutex);
    return m_end;
}

std::uint64_t SentStream::StartLocked() const {
    return m_end > kCapacity ? m_end - kCapacity : 0;
}

std::uint64_t SentStream::Start() const {
    std::lock_guard lock(m_mutex);
    return StartLocked();
}

std::size_t SentStream::Copy(std::uint64_t from, std::uint8_t* out, std::size_t size) const {
    std::lock_guard lock(m_mutex);
    if (from < StartLocked() || from >= m_end) {
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

std::optional<std::uint64_t> SentStream::WrittenAtMs(std::uint64_t position) const {
    std::lock_guard lock(m_mutex);
    if (position >= m_end || position < m_writtenFrom || m_written.empty()) {
        return std::nullopt;
    }
    const auto entry =
        std::upper_bound(m_written.begin(), m_written.end(), position,
                         [](std::uint64_t p, const Written& written) { return p < written.end; });
    if (entry == m_written.end()) {
        return std::nullopt;
    }
    return entry->ms;
}

std::uint64_t SentStream::FirstWrittenAfter(std::uint64_t ms) const {
    std::lock_guard lock(m_mutex);
    // Times only grow along the stream: the first entry written after `ms`
    // starts where the one before it ends.
    const auto entry =
        std::upper_bound(m_written.begin(), m_written.end(), ms,
                         [](std::uint64_t t, const Written& written) { return t < written.ms; });
    if (entry == m_written.end()) {
        return m_end;
    }
    return entry == m_written.begin() ? m_writtenFrom : std::prev(entry)->end;
}

SentStream::Repeat SentStream::RepeatAtLocked(std::uint64_t position) const {
    for (auto run = m_runs.rbegin(); run != m_runs.rend(); ++run) {
        if (run->from <= position) {
            return {run->period, run->from};
        }
    }
    return {};
}

SentStream::Repeat SentStream::RepeatAt(std::uint64_t position) const {
    std::lock_guard lock(m_mutex);
    return RepeatAtLocked(position);
}

std::uint64_t SentStream::KeyAt(std::uint64_t place) const {
    std::uint64_t key = 0;
    for (std::size_t i = 0; i < kKeyBytes; ++i) {
        key = key << 8 | m_ring[static_cast<std::size_t>((place + i) % kCapacity)];
    }
    return key;
}

bool SentStream::HoldsKeyAt(std::uint64_t place, std::uint64_t key) const {
    return place >= StartLocked() && place + kKeyBytes <= m_end && KeyAt(place) == key;
}

std::optional<std::uint64_t> SentStream::ByPeriod(std::uint64_t place, std::uint64_t from,
                                                  std::uint64_t key) const {
    const Repeat repeat = RepeatAtLocked(place);
    if (repeat.period == 0 || place < from) {
        return place >= from ? std::optional(place) : std::nullopt;
    }
    const std::uint64_t floor = std::max({from, repeat.from, StartLocked()});
    const std::uint64_t back = place >= floor ? (place - floor) / repeat.period : 0;
    const std::uint64_t earlier = place - back * repeat.period;
    return HoldsKeyAt(earlier, key) ? earlier : place;
}

std::optional<std::uint64_t> SentStream::FindFrom(const std::uint8_t* bytes,
                                                  std::uint64_t from) const {
    const std::uint64_t key = StreamIndex::KeyOf(bytes);
    std::lock_guard lock(m_mutex);
    if (!m_indexed) {
        return std::nullopt;
    }
    // Newest first, back to `from`: the last place held is the nearest. On a
    // run that repeats within a key's length the key stands once a repeat,
    // and the nearest is reckoned from the newest.
    std::optional<std::uint64_t> nearest;
    std::optional<std::uint64_t> place = m_index.Newest(key, StartLocked());
    while (place && !HoldsKeyAt(*place, key)) {
        place = m_index.Older(*place, StartLocked());
    }
    if (place && *place >= from) {
        const Repeat repeat = RepeatAtLocked(*place);
        if (repeat.period != 0 && repeat.period <= kKeyBytes) {
            return ByPeriod(*place, from, key);
        }
    }
    for (std::size_t steps = 0; place && *place >= from; ++steps) {
        if (HoldsKeyAt(*place, key)) {
            nearest = place;
        }
        if (steps == kMostIndexSteps) {
            return nearest ? ByPeriod(*nearest, from, key) : std::nullopt;
        }
        place = m_index.Older(*place, StartLocked());
    }
    return nearest;
}

std::optional<std::uint64_t> SentStream::FindNewest(const std::uint8_t* bytes) const {
    const std::uint64_t key = StreamIndex::KeyOf(bytes);
    std::lock_guard lock(m_mutex);
    if (!m_indexed) {
        return std::nullopt;
    }
    std::optional<std::uint64_t> place = m_index.Newest(key, StartLocked());
    for (std::size_t steps = 0; place && steps < kMostIndexSteps; ++steps) {
        if (HoldsKeyAt(*place, key)) {
            return place;
        }
        place = m_index.Older(*place, StartLocked());
    }
    return std::nullopt;
}

}  // namespace quorvel
