// The checker's last judgement when a test ends on bytes that fit no stream,
// as breaks and line noise leave them after the data has stopped: every byte
// is counted once, also where the lock is lost on the way.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "engine/DataChecker.h"
#include "engine/TestData.h"

namespace quorvel {
namespace {

TEST(CheckerFinishTest, BytesThatFitNothingAtTheEndAreCountedWhereverTheLockIsLost) {
    for (unsigned seed = 0; seed < 100; ++seed) {
        std::mt19937 random(seed);
        std::array<SentStream, 8> sent;
        DataChecker::Streams streams{};
        for (std::size_t i = 0; i < sent.size(); ++i) {
            streams[i] = &sent[i];
        }
        DataChecker checker(streams);
        // The Alphabets line or random bytes, of which a part arrives, then
        // NULs and noise.
        const bool alphabets = random() % 2 == 0;
        std::vector<std::uint8_t> stream;
        for (std::size_t i = 0; i < 3000; ++i) {
            stream.push_back(alphabets
                                 ? static_cast<std::uint8_t>(kAlphabets[i % kAlphabets.size()])
                                 : static_cast<std::uint8_t>(random()));
        }
        sent[0].Append(stream.data(), stream.size());
        std::vector<std::uint8_t> received(stream.begin(), stream.begin() + 1000 + random() % 1500);
        const std::size_t tail = 1 + random() % 40;
        for (std::size_t i = 0; i < tail; ++i) {
            received.push_back(random() % 3 == 0 ? 0 : static_cast<std::uint8_t>(random()));
        }
        checker.Check(received.data(), received.size());
        checker.Finish(0);
        const CheckCounts counts = checker.Counts();
        EXPECT_EQ(counts.received, received.size()) << seed;
        EXPECT_TRUE(counts.Balanced()) << seed;
        EXPECT_GE(counts.verified, received.size() - 2 * tail) << seed;
    }
}

}  // namespace
}  // namespace quorvel
