// The sent stream: where a run of bytes stands (its index, against a plain
// search of every place) on streams like those ports send, when each byte
// was written, and how each run's bytes repeat.
#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <vector>

#include "engine/SentStream.h"

namespace quorvel {
namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::size_t kKey = SentStream::kKeyBytes;

// The nearest place >= from where `stream` holds the key at `key`, place by
// place.
std::optional<std::uint64_t> NearestByEveryPlace(const Bytes& stream, const std::uint8_t* key,
                                                 std::uint64_t from) {
    for (std::uint64_t p = from; p + kKey <= stream.size(); ++p) {
        if (std::equal(key, key + kKey, stream.begin() + static_cast<std::ptrdiff_t>(p))) {
            return p;
        }
    }
    return std::nullopt;
}

// A stream of one kind: bytes that never repeat, a line over and over, or a
// file over and over after other bytes; and the period its repeats have.
std::pair<Bytes, std::uint64_t> StreamOfKind(int kind, std::mt19937& random) {
    const auto byte = [&] { return static_cast<std::uint8_t>(random()); };
    Bytes stream;
    const std::size_t size = 3000 + random() % 40000;
    if (kind == 0) {
        while (stream.size() < size) {
            stream.push_back(byte());
        }
        return {stream, 0};
    }
    Bytes unit(kind == 1 ? 1 + random() % 60 : 1000 + random() % 9000);
    const unsigned values = random() % 3 == 0 ? 2 : 256;
    for (auto& b : unit) {
        b = static_cast<std::uint8_t>(random() % values);
    }
    while (stream.size() < size) {
        stream.insert(stream.end(), unit.begin(), unit.end());
    }
    return {stream, unit.size()};
}

TEST(SentStreamTest, TheIndexFindsTheNearestPlaceOfAnyBytesAsASearchOfEveryPlaceDoes) {
    std::mt19937 random(11);
    for (int round = 0; round < 60; ++round) {
        const int kind = round % 3;
        const auto [bytes, period] = StreamOfKind(kind, random);
        SentStream stream;
        stream.BeginRun(period);
        for (std::size_t at = 0; at < bytes.size(); at += 450) {
            stream.Append(bytes.data() + at, std::min<std::size_t>(450, bytes.size() - at));
        }
        for (int probe = 0; probe < 20; ++probe) {
            const std::size_t at = random() % (bytes.size() - kKey);
            const std::uint64_t from = random() % bytes.size();
            const std::uint8_t* key = bytes.data() + at;
            const std::optional<std::uint64_t> found = stream.FindFrom(key, from);
            ASSERT_EQ(found, NearestByEveryPlace(bytes, key, from))
                << "round " << round << " kind " << kind << " key at " << at << " from " << from;
            ASSERT_TRUE(stream.FindNewest(key).has_value());
        }
        const Bytes absent = {1, 2, 3, 4, 5, 6, 7, 9};
        EXPECT_EQ(stream.FindFrom(absent.data(), 0), NearestByEveryPlace(bytes, absent.data(), 0));
    }
}

TEST(SentStreamTest, BytesTakenBackAreNotFoundAndThoseWrittenInTheirPlaceAre) {
    SentStream stream;
    const Bytes first = {10, 11, 12, 13, 14, 15, 16, 17, 18, 19};
    const Bytes second = {20, 21, 22, 23, 24, 25, 26, 27, 28, 29};
    stream.Append(first.data(), first.size(), 5);
    stream.Retract(6);  // only 4 went out
    EXPECT_EQ(stream.End(), 4u);
    EXPECT_FALSE(stream.FindFrom(first.data() + 1, 0).has_value());
    stream.Append(second.data(), second.size(), 7);
    Bytes joined(first.begin(), first.begin() + 4);
    joined.insert(joined.end(), second.begin(), second.end());
    for (std::size_t at = 0; at + kKey <= joined.size(); ++at) {
        EXPECT_EQ(stream.FindFrom(joined.data() + at, 0), std::optional<std::uint64_t>(at)) << at;
    }
    EXPECT_EQ(stream.WrittenAtMs(3), 5u);
    EXPECT_EQ(stream.WrittenAtMs(4), 7u);
}

TEST(SentStreamTest, EachBytesWriteTimeIsKeptAndTheBytesWrittenByATimeAreKnown) {
    SentStream stream;
    const Bytes packet(100, 0x55);
    stream.Append(packet.data(), 100, 1000);
    stream.Append(packet.data(), 100, 1000);  // the same millisecond
    stream.Append(packet.data(), 50, 1010);
    EXPECT_EQ(stream.WrittenAtMs(0), 1000u);
    EXPECT_EQ(stream.WrittenAtMs(199), 1000u);
    EXPECT_EQ(stream.WrittenAtMs(200), 1010u);
    EXPECT_EQ(stream.WrittenAtMs(250), std::nullopt);  // not written
    EXPECT_EQ(stream.FirstWrittenAfter(999), 0u);
    EXPECT_EQ(stream.FirstWrittenAfter(1000), 200u);
    EXPECT_EQ(stream.FirstWrittenAfter(1009), 200u);
    EXPECT_EQ(stream.FirstWrittenAfter(1010), 250u);
}

TEST(SentStreamTest, EachRunsBytesRepeatAsItsRunSaid) {
    SentStream stream;
    const Bytes bytes(500, 1);
    stream.Append(bytes.data(), 100);
    stream.BeginRun(39);
    stream.Append(bytes.data(), 200);
    stream.BeginRun(0);
    stream.BeginRun(42);  // a run that sent nothing gives way to the next
    stream.Append(bytes.data(), 50);
    EXPECT_EQ(stream.RepeatAt(50).period, 0u);
    EXPECT_EQ(stream.RepeatAt(100).period, 39u);
    EXPECT_EQ(stream.RepeatAt(299).from, 100u);
    EXPECT_EQ(stream.RepeatAt(300).period, 42u);
    EXPECT_EQ(stream.RepeatAt(300).from, 300u);
}

}  // namespace
}  // namespace quorvel
