// The checker held to the truth on thousands of streams a run: every kind of
// stream a port sends, faults of every kind and of lengths at and around
// every limit the checker has, at random places (the first and last bytes
// among them). Seeded, so a failure repeats; the seed and the case are
// printed with it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <sstream>

#include "fakes/FaultyLine.h"

namespace quorvel {
namespace {

using namespace quorvel::testing;

constexpr unsigned kSeed = 20240607;

// Cases a run: QUORVEL_CHECK_ROUNDS asks for more, for a longer search.
int Rounds() {
    const char* asked = std::getenv("QUORVEL_CHECK_ROUNDS");
    return asked != nullptr ? std::max(1, std::atoi(asked)) : 1500;
}

// Another first seed: QUORVEL_CHECK_SEED.
unsigned FirstSeed(unsigned otherwise) {
    const char* asked = std::getenv("QUORVEL_CHECK_SEED");
    return asked != nullptr ? static_cast<unsigned>(std::strtoul(asked, nullptr, 10)) : otherwise;
}

// Lengths at and around the checker's limits: an anchor, a key, the band and
// its slack, the bytes held before a lock, a packet, the region looked at
// shift by shift and the one searched at all.
// Bytes lost are found again however many; bytes added or wrong only within
// the stretch searched (with a key's length to spare for a fault after
// them), so only a gap goes past it; and with faults close after them, only
// within the stretch looked at shift by shift.
std::size_t FaultLength(LineFaultKind kind, bool apart, std::mt19937& random) {
    static const std::size_t kLengths[] = {1,   2,   3,   4,   5,   7,   8,    9,    10,   11,
                                           12,  15,  16,  17,  31,  32,  33,   63,   64,   65,
                                           449, 450, 451, 511, 512, 513, 1000, 4095, 4096, 4097};
    const std::size_t length = kLengths[random() % std::size(kLengths)];
    const std::size_t most = apart ? DataChecker::kLongestSearch - DataChecker::kKeyBytes
                                   : DataChecker::kLongestRegion + 1;
    return kind == LineFaultKind::Lose ? length : std::min(length, most);
}

LineFaultKind FaultKind(std::mt19937& random) {
    return static_cast<LineFaultKind>(random() % 4);
}

// Faults at least `apart` bytes from each other, or anywhere, the stream's
// first and last bytes among the places.
std::vector<LineFault> Faults(std::size_t size, std::size_t apart, std::mt19937& random) {
    std::vector<LineFault> faults;
    std::size_t next = random() % 4 == 0 ? 0 : random() % 2000;
    for (std::size_t count = random() % 6; count > 0 && next < size; --count) {
        const LineFaultKind kind = FaultKind(random);
        LineFault fault{kind, next, FaultLength(kind, apart > 0, random)};
        if (fault.kind == LineFaultKind::Corrupt && apart > 0) {
            // A wrong byte apart from others; wrong bytes together (a noisy
            // line) may read as well a byte lost and one added.
            fault.length = 1;
        }
        if (fault.kind == LineFaultKind::Double) {
            fault.length = std::min(fault.length, fault.at);
        }
        if (random() % 8 == 0) {
            fault.at = size - std::min(size, fault.length);  // the stream's last bytes
        }
        if (!faults.empty() && fault.at < faults.back().at + faults.back().length) {
            break;
        }
        faults.push_back(fault);
        const std::size_t consumed =
            fault.kind == LineFaultKind::Corrupt || fault.kind == LineFaultKind::Lose ? fault.length
                                                                                      : 0;
        next = fault.at + consumed + apart + random() % 3000;
    }
    return faults;
}

std::string Describe(unsigned seed, int kind, std::size_t size,
                     const std::vector<LineFault>& faults) {
    std::ostringstream text;
    text << "seed " << seed << ", stream kind " << kind << " of " << size << " bytes, faults:";
    for (const LineFault& fault : faults) {
        text << " " << static_cast<int>(fault.kind) << "@" << fault.at << "x" << fault.length;
    }
    return text.str();
}

// One case, all of it made from its seed: the stream, the faults, the line's
// bits and the chunks the receiver takes.
struct Case {
    StreamKind kind;
    std::uint64_t period = 0;
    Bytes sent;
    std::vector<LineFault> faults;
    FaultyLine line;
    CheckCounts counts;
    std::string what;
};

Case RunCase(unsigned seed, bool ownSequence, bool apart) {
    std::mt19937 random(seed);
    Case c;
    c.kind = ownSequence ? StreamKind::Prbs : static_cast<StreamKind>(random() % 5);
    // (Streams shorter than a few keys are told by their first bytes alone:
    // the hand-written cases hold those.)
    const std::size_t size = 1024 + random() % 20000;
    const auto [sent, unit] = StreamOf(c.kind, size, random);
    c.sent = sent;
    c.faults = Faults(size, apart || random() % 2 == 0 ? 64 : 0, random);
    c.period = ShortestRepeat(unit);
    c.line = ApplyFaults(c.sent, c.faults, random, apart, c.period);
    CheckRun run;
    run.period = unit.size();
    c.counts = RunChecker(c.sent, c.line, run, random);
    c.what = Describe(seed, static_cast<int>(c.kind), size, c.faults);
    return c;
}

TEST(CheckerRandomTest, FaultsApartOnAPortsOwnSequenceAreCountedExactly) {
    std::mt19937 seeds(FirstSeed(kSeed));
    for (int round = 0; round < Rounds(); ++round) {
        const Case c = RunCase(static_cast<unsigned>(seeds()), true, true);
        ASSERT_EQ(c.counts, c.line.truth) << c.what;
    }
}

TEST(CheckerRandomTest, FaultsTogetherKeepTheBalanceAndCountNoMoreErrorsThanHappened) {
    std::mt19937 seeds(FirstSeed(kSeed) + 1);
    for (int round = 0; round < Rounds(); ++round) {
        const Case c = RunCase(static_cast<unsigned>(seeds()), false, false);
        ASSERT_TRUE(c.counts.Balanced()) << c.what;
        ASSERT_EQ(c.counts.received, c.line.truth.received) << c.what;
        ASSERT_EQ(c.counts.expected, c.line.truth.expected) << c.what;
        ASSERT_LE(c.counts.verified, c.line.truth.expected) << c.what;
        // On a repeating line, bytes added or wrong for a repeat or more
        // read as well a repeat or several along; where runs of like bytes
        // make up the stream (a file's fill, a text of a letter or two),
        // faults in or beside a run read several ways: there the balance is
        // all that holds.
        // Before the first lock (the run's first bytes, held while the
        // search for its source thins out) and in a line's last repeat
        // (nothing after it to place it by), faults together read several
        // ways too.
        const bool line = c.kind == StreamKind::Alphabets || c.kind == StreamKind::QuickBrown;
        const bool inside = std::all_of(c.faults.begin(), c.faults.end(), [&](const LineFault& f) {
            return f.at >= 2 * DataChecker::kMostHeld && f.at + f.length + c.period < c.sent.size();
        });
        const bool told =
            inside &&
            (c.period == 0 ||
             (line && std::all_of(c.faults.begin(), c.faults.end(), [&](const LineFault& f) {
                  return f.kind == LineFaultKind::Lose || f.length < c.period;
              })));
        if (told) {
            ASSERT_LE(c.counts.Errors(), c.line.truth.Errors())
                << c.what << "\n counted " << ::testing::PrintToString(c.counts) << "\n truth   "
                << ::testing::PrintToString(c.line.truth);
        }
    }
}

// Replays one case a failure printed: QUORVEL_CHECK_CASE="seed own apart"
// (own, apart: 0 or 1).
TEST(CheckerRandomTest, ReplaysTheCaseAskedFor) {
    const char* asked = std::getenv("QUORVEL_CHECK_CASE");
    if (asked == nullptr) {
        GTEST_SKIP() << "no case asked for";
    }
    std::istringstream in(asked);
    unsigned seed = 0;
    int own = 0, apart = 0;
    in >> seed >> own >> apart;
    const Case c = RunCase(seed, own != 0, apart != 0);
    EXPECT_EQ(c.counts, c.line.truth) << c.what;
}

}  // namespace
}  // namespace quorvel
