#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace quorvel {

// Where each run of kKeyBytes bytes stands in a port's sent stream: a hash of
// every key to the newest place that holds it, and from each place back to
// the one before with the same hash. It is kept as bytes are appended, at a
// fixed cost a byte, so a receiver finds where its bytes came from without
// searching the stream.
//
// The index only points; every place it gives is compared with the stream's
// bytes by its owner, so a hash shared by other keys or a place the stream
// has since taken back costs a step, never a wrong answer. Not thread-safe:
// its owner (SentStream) guards it.
class StreamIndex {
  public:
    static constexpr std::size_t kKeyBytes = 8;

    // `places`: how many of the newest places are kept (the stream's ring).
    explicit StreamIndex(std::size_t places);

    void Clear();
    // The key that starts at `place` (its kKeyBytes bytes read as one number,
    // first byte highest) is now in the stream.
    void Add(std::uint64_t place, std::uint64_t key);

    // Places that may hold `key`, newest first: Newest, then Older until it
    // gives nothing. Places before `oldestKept` are never given.
    std::optional<std::uint64_t> Newest(std::uint64_t key, std::uint64_t oldestKept) const;
    std::optional<std::uint64_t> Older(std::uint64_t place, std::uint64_t oldestKept) const;

    static std::uint64_t KeyOf(const std::uint8_t* bytes);

  private:
    static constexpr unsigned kHashBits = 16;
    static std::size_t HashOf(std::uint64_t key);

    // Newest place + 1 for each hash; 0 for none.
    std::vector<std::uint64_t> m_newest;
    // For place p, at p % size: how far back the place before it with the same
    // hash stands; 0 for none.
    std::vector<std::uint32_t> m_back;
};

}  // namespace quorvel
