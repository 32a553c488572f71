// The sent stream's search for the newest place that holds some bytes, on
// streams like those ports send (a line over and over, a file over and over
// after other bytes, bytes that never repeat), against a plain search of
// every place.
#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <utility>
#include <vector>

#include "engine/SentStream.h"

namespace quorvel {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The newest p >= earliest where the stream holds `pattern` followed by
// `after` more bytes and preceded by `before`, place by place.
std::optional<std::uint64_t> NewestByEveryPlace(const Bytes& stream, const Bytes& pattern,
                                                std::uint64_t earliest, std::size_t after,
                                                const Bytes& before) {
    for (std::uint64_t p = stream.size(); p-- > earliest;) {
        if (p + pattern.size() + after > stream.size() || p < before.size()) {
            continue;
        }
        if (std::equal(pattern.begin(), pattern.end(), stream.begin() + static_cast<long>(p)) &&
            std::equal(before.begin(), before.end(),
                       stream.begin() + static_cast<long>(p - before.size()))) {
            return p;
        }
    }
    return std::nullopt;
}

// A stream of one kind, and where its repeats start.
std::pair<Bytes, std::size_t> StreamOfKind(int kind, std::mt19937& random) {
    const auto byte = [&] { return static_cast<std::uint8_t>(random()); };
    Bytes stream;
    const std::size_t size = 3000 + random() % 40000;
    if (kind == 2) {
        while (stream.size() < size) {
            stream.push_back(byte());  // no repeat at all
        }
        return {stream, 0};
    }
    if (kind == 1) {
        for (std::size_t i = 1 + random() % 9000; i > 0; --i) {
            stream.push_back(byte());  // other bytes before the repeats
        }
    }
    const std::size_t repeatsFrom = stream.size();
    // A line (a few bytes to a few hundred) or a file (thousands) over and
    // over, sometimes of few values.
    Bytes unit(1 + (random() % 3 == 0 ? random() % 9000 : random() % 300));
    const unsigned values = random() % 3 == 0 ? 2 : 256;
    for (auto& b : unit) {
        b = static_cast<std::uint8_t>(random() % values);
    }
    while (stream.size() < size) {
        stream.insert(stream.end(), unit.begin(), unit.end());
    }
    stream.resize(size);
    return {stream, repeatsFrom};
}

TEST(SentStreamTest, TheNewestPlaceOfSomeBytesIsFoundAsASearchOfEveryPlaceFindsIt) {
    std::mt19937 random(17);
    int found = 0;
    for (int round = 0; round < 600; ++round) {
        const auto [stream, repeatsFrom] = StreamOfKind(round % 3, random);
        SentStream sent;
        sent.Append(stream.data(), stream.size());
        // What is looked for: bytes of the stream, sometimes one changed, with
        // the bytes ahead of that place or of another as what must precede.
        const std::size_t size = 8 + random() % 40;
        // Half the time just where the repeats start, where what precedes a
        // place tells it from the places a period on.
        const std::size_t at =
            repeatsFrom != 0 && random() % 2 == 0
                ? std::min(repeatsFrom + random() % 100, stream.size() - size - 1)
                : random() % (stream.size() - size);
        Bytes pattern(stream.begin() + static_cast<long>(at),
                      stream.begin() + static_cast<long>(at + size));
        if (random() % 3 == 0) {
            pattern[random() % size] ^= 0x10;
        }
        const std::size_t beforeSize =
            random() % 2 == 0 ? 0 : std::min<std::size_t>(at, random() % 200);
        const std::size_t beforeAt =
            random() % 4 == 0 ? random() % (stream.size() - beforeSize) : at - beforeSize;
        const Bytes before(stream.begin() + static_cast<long>(beforeAt),
                           stream.begin() + static_cast<long>(beforeAt + beforeSize));
        const std::uint64_t earliest = random() % 2 == 0 ? 0 : random() % stream.size();
        const std::size_t after = random() % 2 == 0 ? 0 : random() % 3000;

        std::uint64_t position = 0;
        const bool got =
            sent.FindNewest(pattern.data(), pattern.size(), earliest, after, position, before);
        const std::optional<std::uint64_t> expected =
            NewestByEveryPlace(stream, pattern, earliest, after, before);
        ASSERT_EQ(got, expected.has_value()) << "round " << round;
        if (got) {
            ASSERT_EQ(position, *expected) << "round " << round;
            ++found;
        }
    }
    EXPECT_GT(found, 200);  // the rounds find places as well as miss them
}

}  // namespace
}  // namespace quorvel
