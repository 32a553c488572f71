#include "engine/StreamIndex.h"

#include <algorithm>
#include <limits>

namespace quorvel {

StreamIndex::StreamIndex(std::size_t places)
    : m_newest(std::size_t{1} << kHashBits, 0), m_back(places, 0) {}

void StreamIndex::Clear() {
    std::fill(m_newest.begin(), m_newest.end(), 0);
}

std::size_t StreamIndex::HashOf(std::uint64_t key) {
    return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> (64 - kHashBits));
}

std::uint64_t StreamIndex::KeyOf(const std::uint8_t* bytes) {
    std::uint64_t key = 0;
    for (std::size_t i = 0; i < kKeyBytes; ++i) {
        key = key << 8 | bytes[i];
    }
    return key;
}

void StreamIndex::Add(std::uint64_t place, std::uint64_t key) {
    std::uint64_t& newest = m_newest[HashOf(key)];
    std::uint32_t back = 0;
    // A place at or after this one was taken back from the stream and is
    // being written again: the chain goes on from the places before it.
    std::uint64_t before = newest;
    while (before > place) {
        const std::uint32_t step = m_back[static_cast<std::size_t>((before - 1) % m_back.size())];
        before = step == 0 || step >= before ? 0 : before - step;
    }
    if (before != 0 && place + 1 - before < std::numeric_limits<std::uint32_t>::max()) {
        back = static_cast<std::uint32_t>(place + 1 - before);
    }
    m_back[static_cast<std::size_t>(place % m_back.size())] = back;
    newest = place + 1;
}

std::optional<std::uint64_t> StreamIndex::Newest(std::uint64_t key,
                                                 std::uint64_t oldestKept) const {
    const std::uint64_t newest = m_newest[HashOf(key)];
    if (newest == 0 || newest - 1 < oldestKept) {
        return std::nullopt;
    }
    return newest - 1;
}

std::optional<std::uint64_t> StreamIndex::Older(std::uint64_t place,
                                                std::uint64_t oldestKept) const {
    const std::uint32_t back = m_back[static_cast<std::size_t>(place % m_back.size())];
    if (back == 0 || back > place || place - back < oldestKept) {
        return std::nullopt;
    }
    return place - back;
}

}  // namespace quorvel
