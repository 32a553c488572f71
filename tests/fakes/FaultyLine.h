#pragma once

// A line that does known things to known bytes, for holding the checker to
// the truth: the bytes a receiver gets from a stream with faults put in at
// given places, what each fault did, and the checker run over them the way a
// receive thread runs it (bytes in chunks, the sender a little ahead).
#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <ostream>
#include <random>
#include <string_view>
#include <vector>

#include "engine/DataChecker.h"
#include "engine/PrbsSequence.h"
#include "engine/TestData.h"

namespace quorvel::testing {

using Bytes = std::vector<std::uint8_t>;

// What a fault does at a place of the sent stream.
enum class LineFaultKind {
    Corrupt,  // `length` bytes from `at` arrive with bits flipped
    Lose,     // `length` bytes from `at` never arrive
    Insert,   // `length` bytes that were never sent arrive before byte `at`
    Double,   // the `length` bytes before `at` arrive a second time before it
};

struct LineFault {
    LineFaultKind kind;
    std::size_t at;
    std::size_t length;
};

// The received bytes, where each came in the sent stream (the position of
// the sent byte it follows or is), and the counts a checker that tells the
// truth finds when the whole stream is its window.
struct FaultyLine {
    Bytes received;
    std::vector<std::size_t> sentAt;
    CheckCounts truth;
};

// Bytes that tell their place: not a run of one byte or two in turn.
inline bool Telling(const std::uint8_t* bytes, std::size_t size) {
    for (std::size_t i = 2; i < size; ++i) {
        if (bytes[i] != bytes[i - 2]) {
            return true;
        }
    }
    return false;
}

// Bits a corrupted byte has flipped: one or two, as a noisy line flips
// them, or any.
inline std::uint8_t Flip(std::mt19937& random, bool fewBits) {
    if (!fewBits) {
        return static_cast<std::uint8_t>(1 + random() % 255);
    }
    const unsigned first = random() % 8;
    const unsigned second = random() % 8;
    return static_cast<std::uint8_t>((1u << first) | (random() % 2 == 0 ? 1u << second : 0u));
}

// `faults` in order of `at`, not overlapping (a fault starts at or after the
// end of the one before); `fewBits`: a corrupted byte has one or two bits
// flipped.
// `period`: how the stream repeats (0: never); one that repeats within a key
// is known by any key of it.
inline FaultyLine ApplyFaults(const Bytes& sent, const std::vector<LineFault>& faults,
                              std::mt19937& random, bool fewBits = false,
                              std::uint64_t period = 0) {
    FaultyLine line;
    CheckCounts& truth = line.truth;
    truth.expected = sent.size();
    const auto emit = [&](std::uint8_t byte, std::size_t at) {
        line.received.push_back(byte);
        line.sentAt.push_back(at);
    };
    std::size_t next = 0;  // the next sent byte not yet passed
    // Whether kKeyBytes sent bytes came as sent, in a row, and telling their
    // place (not a run of one byte or two in turn): what a source is known by.
    bool keyCame = false;
    const auto passTo = [&](std::size_t to) {
        const std::size_t from = next;
        for (; next < to && next < sent.size(); ++next) {
            emit(sent[next], next);
            ++truth.verified;
            const std::size_t key = DataChecker::kKeyBytes;
            const bool anyKey = period != 0 && period <= key;
            keyCame = keyCame ||
                      (next + 1 - from >= key && (anyKey || Telling(&sent[next + 1 - key], key)));
        }
    };
    for (const LineFault& fault : faults) {
        passTo(fault.at);
        const std::size_t end = std::min(sent.size(), fault.at + fault.length);
        switch (fault.kind) {
            case LineFaultKind::Corrupt:
                for (; next < end; ++next) {
                    const auto flip = Flip(random, fewBits);
                    emit(static_cast<std::uint8_t>(sent[next] ^ flip), next);
                    ++truth.corrupted;
                    truth.corruptedBits += static_cast<std::uint64_t>(std::popcount(flip));
                }
                break;
            case LineFaultKind::Lose:
                truth.lost += end - next;
                next = end;
                break;
            case LineFaultKind::Insert:
                for (std::size_t i = 0; i < fault.length; ++i) {
                    emit(static_cast<std::uint8_t>(random()), fault.at);
                }
                truth.extra += fault.length;
                break;
            case LineFaultKind::Double:
                for (std::size_t i = fault.at - std::min(fault.at, fault.length); i < fault.at;
                     ++i) {
                    emit(sent[i], fault.at);
                    ++truth.extra;
                }
                break;
        }
    }
    passTo(sent.size());
    truth.received = line.received.size();
    // The run's first bytes as sent, first of all received.
    std::size_t startRun = 0;
    while (startRun < line.received.size() && startRun < sent.size() &&
           line.sentAt[startRun] == startRun && line.received[startRun] == sent[startRun]) {
        ++startRun;
    }
    // And the run's first bytes as sent, last of all received.
    std::size_t endRun = 0;
    while (endRun < line.received.size() && endRun < sent.size()) {
        const std::size_t at = line.received.size() - 1 - endRun;
        const std::size_t from = line.sentAt[line.received.size() - 1] - endRun;
        if (line.sentAt[at] != from || line.received[at] != sent[from]) {
            break;
        }
        ++endRun;
    }
    const bool fromTheStart = endRun > 0 && line.sentAt[line.received.size() - 1] + 1 == endRun;
    const bool told = keyCame || startRun >= DataChecker::kAnchorBytes ||
                      (fromTheStart && endRun >= DataChecker::kAnchorBytes);
    if (!told) {
        // Too little of the stream came as sent to tell where any came from.
        truth = CheckCounts{};
        truth.received = truth.unrecognised = line.received.size();
    }
    truth.bitsChecked = (truth.verified + truth.corrupted) * 8;
    return line;
}

// Streams of the kinds ports send: a port's pseudo-random sequence, a fixed
// line or a text over and over, a file over and over.
enum class StreamKind { Prbs, Alphabets, QuickBrown, Text, File };

inline Bytes Repeated(const Bytes& unit, std::size_t size) {
    Bytes bytes;
    while (!unit.empty() && bytes.size() < size) {
        bytes.insert(bytes.end(), unit.begin(), unit.end());
    }
    bytes.resize(std::min(bytes.size(), size));
    return bytes;
}

// The shortest p such that `unit` over and over repeats every p bytes.
inline std::uint64_t ShortestRepeat(const Bytes& unit) {
    for (std::size_t p = 1; p <= unit.size(); ++p) {
        if (unit.size() % p == 0 &&
            std::equal(unit.begin() + static_cast<std::ptrdiff_t>(p), unit.end(), unit.begin())) {
            return p;
        }
    }
    return 0;
}

inline Bytes Line(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

// A stream of `kind`, `size` bytes, and the unit it repeats (empty: none).
inline std::pair<Bytes, Bytes> StreamOf(StreamKind kind, std::size_t size, std::mt19937& random) {
    Bytes unit;
    switch (kind) {
        case StreamKind::Prbs: {
            Bytes bytes(size);
            PrbsSequence sequence(static_cast<int>(random() % 8));
            sequence.Fill(bytes.data(), bytes.size(), 0xFF);
            return {bytes, {}};
        }
        case StreamKind::Alphabets:
            unit = Line(kAlphabets);
            break;
        case StreamKind::QuickBrown:
            unit = Line(kQuickBrown);
            break;
        case StreamKind::Text:
            // A text of a few letters, down to one over and over.
            unit.resize(1 + random() % 24);
            for (auto& byte : unit) {
                byte = static_cast<std::uint8_t>('A' + random() % (1 + random() % 26));
            }
            break;
        case StreamKind::File:
            // A file of random stretches and runs of one letter.
            while (unit.size() < 3000 + random() % 5000) {
                const std::size_t stretch = 20 + random() % 300;
                const bool run = random() % 3 == 0;
                const auto letter = static_cast<std::uint8_t>('A' + random() % 26);
                for (std::size_t i = 0; i < stretch; ++i) {
                    unit.push_back(run ? letter : static_cast<std::uint8_t>(random()));
                }
            }
            break;
    }
    return {Repeated(unit, size), unit};
}

// Runs a checker on Port1's stream `sent` and the bytes a line made of it:
// the sender appends in packets at most `ahead` bytes before the received
// bytes need them, the receiver takes chunks of 1 to `chunk` bytes, and the
// test ends `endMs` after the last write (past the stream's 1 s tail: its
// last bytes were lost; within it: cut by the stop).
struct CheckRun {
    std::size_t ahead = 2000;
    std::size_t chunk = 450;
    std::uint64_t period = 0;  // how the stream repeats, as its sender says
    std::uint64_t endMs = 5000;
};

inline CheckCounts RunChecker(const Bytes& sent, const FaultyLine& line, const CheckRun& run,
                              std::mt19937& random, DataChecker* checked = nullptr) {
    static SentStream stream;  // one for all runs: it is large, and starts again at Reset
    stream.Reset();
    DataChecker::Streams streams{};
    streams[0] = &stream;
    DataChecker own(streams, 0);
    DataChecker& checker = checked != nullptr ? *checked : own;
    checker.StartTest();
    stream.BeginRun(run.period);
    std::size_t appended = 0;
    const auto sendTo = [&](std::size_t to) {
        while (appended < std::min(to, sent.size())) {
            const std::size_t size = std::min<std::size_t>(kMaxPacket, sent.size() - appended);
            stream.Append(sent.data() + appended, size, 0);
            appended += size;
        }
    };
    for (std::size_t at = 0; at < line.received.size();) {
        const std::size_t size =
            std::min<std::size_t>(1 + random() % run.chunk, line.received.size() - at);
        sendTo(line.sentAt[at + size - 1] + 1 + random() % (run.ahead + 1));
        checker.Check(line.received.data() + at, size, 0);
        at += size;
    }
    sendTo(sent.size());
    checker.Finish(run.endMs);
    return checker.Counts();
}

}  // namespace quorvel::testing

namespace quorvel {
// How a balance reads in a failed test.
inline void PrintTo(const CheckCounts& c, std::ostream* out) {
    *out << "{received " << c.received << ", expected " << c.expected << ", verified " << c.verified
         << ", corrupted " << c.corrupted << " (" << c.corruptedBits << " bits), lost " << c.lost
         << ", extra " << c.extra << ", unrecognised " << c.unrecognised << ", cut " << c.cut
         << ", bits checked " << c.bitsChecked << "}";
}
}  // namespace quorvel
