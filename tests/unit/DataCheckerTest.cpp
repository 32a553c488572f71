// The data checker on streams the test makes, a case for each kind of fault:
// every byte sent is verified, corrupted, lost or cut by the stop, every byte
// received verified, corrupted, extra or unrecognised, as the card would
// count the faults it put in.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "engine/DataChecker.h"
#include "engine/TestData.h"
#include "fakes/FaultyLine.h"

namespace quorvel {
namespace {

using testing::ApplyFaults;
using testing::Bytes;
using testing::CheckRun;
using testing::LineFault;
using testing::LineFaultKind;
using testing::Repeated;
using testing::RunChecker;

Bytes RandomBytes(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    Bytes bytes(size);
    for (auto& byte : bytes) {
        byte = static_cast<std::uint8_t>(random());
    }
    return bytes;
}

Bytes Sequence(int port, std::size_t size) {
    Bytes bytes(size);
    PrbsSequence sequence(port);
    sequence.Fill(bytes.data(), bytes.size(), 0xFF);
    return bytes;
}

Bytes Alphabets(std::size_t lines) {
    return Repeated(Bytes(kAlphabets.begin(), kAlphabets.end()), lines * kAlphabets.size());
}

class DataCheckerTest : public ::testing::Test {
  protected:
    // Port `port` puts `bytes` on its line at `ms`; a run of them that
    // repeats every `period` bytes begins when `period` is given.
    void Send(int port, const Bytes& bytes, std::uint64_t ms = 0,
              std::optional<std::uint64_t> period = std::nullopt) {
        SentStream& stream = m_sent[static_cast<std::size_t>(port)];
        if (period) {
            stream.BeginRun(*period);
        }
        stream.Append(bytes.data(), bytes.size(), ms);
    }
    // Hands `bytes` to the checker in chunks of every size from 1 to 450 in
    // turn, as reads of whatever is queued would.
    void Receive(const Bytes& bytes, std::uint64_t ms = 0) {
        std::size_t at = 0;
        std::size_t chunk = 1;
        while (at < bytes.size()) {
            const std::size_t size = std::min(chunk, bytes.size() - at);
            m_checker.Check(bytes.data() + at, size, ms);
            at += size;
            chunk = chunk % 450 + 1;
        }
    }
    // The test ends well after every byte's time was up.
    CheckCounts Finished() {
        m_checker.Finish(kLongAfterMs);
        const CheckCounts counts = m_checker.Counts();
        EXPECT_TRUE(counts.Balanced()) << ::testing::PrintToString(counts);
        return counts;
    }

    static DataChecker::Streams StreamsOf(std::array<SentStream, 8>& sent) {
        DataChecker::Streams streams{};
        for (std::size_t i = 0; i < sent.size(); ++i) {
            streams[i] = &sent[i];
        }
        return streams;
    }

    static constexpr std::uint64_t kLongAfterMs = 60'000;
    std::array<SentStream, 8> m_sent;
    DataChecker m_checker{StreamsOf(m_sent)};
};

CheckCounts Counts(std::uint64_t received, std::uint64_t expected, std::uint64_t verified,
                   std::uint64_t corrupted, std::uint64_t lost, std::uint64_t extra,
                   std::uint64_t unrecognised = 0) {
    CheckCounts c;
    c.received = received;
    c.expected = expected;
    c.verified = verified;
    c.corrupted = corrupted;
    c.lost = lost;
    c.extra = extra;
    c.unrecognised = unrecognised;
    return c;
}

// The counts without the bits, which a case about bytes leaves aside.
CheckCounts Bytewise(CheckCounts counts) {
    counts.corruptedBits = 0;
    counts.bitsChecked = 0;
    return counts;
}

TEST_F(DataCheckerTest, WhatCameBackWholeIsVerifiedAndItsSourceKnown) {
    const Bytes sent = RandomBytes(20000, 1);
    Send(2, sent);
    Send(5, RandomBytes(20000, 2));
    Receive(sent);
    EXPECT_EQ(Bytewise(Finished()), Counts(20000, 20000, 20000, 0, 0, 0));
    EXPECT_EQ(m_checker.Sources(), 1u << 2);
}

// Bytes like those of a program file: stretches of random bytes between runs
// of one byte and of a two-byte pair, where a byte lost or added inside a run
// shows only where the run ends.
Bytes FileLikeBytes(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    Bytes bytes;
    while (bytes.size() < size) {
        const Bytes stretch = RandomBytes(20 + random() % 200, random());
        bytes.insert(bytes.end(), stretch.begin(), stretch.end());
        const std::size_t run = 20 + random() % 300;
        const auto first = static_cast<std::uint8_t>(random() % 2 == 0 ? 0 : random());
        const auto second = static_cast<std::uint8_t>(random() % 2 == 0 ? first : random());
        for (std::size_t i = 0; i < run; ++i) {
            bytes.push_back(i % 2 == 0 ? first : second);
        }
    }
    bytes.resize(size);
    return bytes;
}

class EachFaultTest : public DataCheckerTest, public ::testing::WithParamInterface<bool> {};

TEST_P(EachFaultTest, IsCountedOnceAsItsKind) {
    const bool fileLike = GetParam();
    const Bytes sent = fileLike ? FileLikeBytes(30000, 3) : RandomBytes(30000, 3);
    Send(0, sent);
    // Two faults inside one run of like bytes cannot be told apart (a byte
    // added and one lost leave the run as it was): in a file-like stream they
    // fall further apart than a run is long.
    std::vector<LineFault> faults;
    const std::size_t apart = fileLike ? 400 : 1;
    std::size_t next = 0;
    for (std::size_t i = 500; i < sent.size() - 7000; i += 997) {
        if (i < next) {
            continue;
        }
        switch ((i / 997) % 6) {
            case 0:  // a bit flipped
                faults.push_back({LineFaultKind::Corrupt, i, 1});
                break;
            case 1:  // dropped on the way
                faults.push_back({LineFaultKind::Lose, i, 1});
                break;
            case 2:  // a framing error's NUL before it
                faults.push_back({LineFaultKind::Insert, i, 1});
                break;
            case 3:  // a burst lost
                faults.push_back({LineFaultKind::Lose, i, 40});
                break;
            case 4:  // a block received twice
                faults.push_back({LineFaultKind::Double, i, 20});
                break;
            default:  // the receive queue overran
                faults.push_back({LineFaultKind::Lose, i, 6000});
                break;
        }
        next = i + faults.back().length + apart;
    }
    std::mt19937 random(4);
    const testing::FaultyLine line = ApplyFaults(sent, faults, random, true);
    Receive(line.received);
    EXPECT_EQ(Finished(), line.truth);
}

INSTANTIATE_TEST_SUITE_P(RandomAndFileLikeBytes, EachFaultTest, ::testing::Bool());

TEST_F(DataCheckerTest, OnAPortsOwnSequenceEveryFaultIsCountedExactlyWhereverItFalls) {
    // The faults a line makes, on the pseudo-random sequence: two bytes
    // added, a block doubled, a gap of 100 and one of 4096 bytes, the first
    // byte corrupted and the last three lost. Each is counted to the byte,
    // and a corruption to the bit.
    const Bytes sent = Sequence(3, 20000);
    Send(3, sent, 0, 0);
    const std::vector<LineFault> faults = {
        {LineFaultKind::Corrupt, 0, 1},    {LineFaultKind::Insert, 1000, 2},
        {LineFaultKind::Double, 3000, 37}, {LineFaultKind::Lose, 5000, 100},
        {LineFaultKind::Lose, 8000, 4096}, {LineFaultKind::Lose, 19997, 3}};
    std::mt19937 random(5);
    const testing::FaultyLine line = ApplyFaults(sent, faults, random, true);
    Receive(line.received);
    const CheckCounts counts = Finished();
    EXPECT_EQ(counts, line.truth);
    EXPECT_EQ(Bytewise(counts), Counts(line.received.size(), 20000, 20000 - 1 - 4199, 1, 4199, 39));
    EXPECT_EQ(m_checker.Sources(), 1u << 3);
    EXPECT_GT(counts.BitErrorRate(), 0.0);
}

TEST_F(DataCheckerTest, ACrossedCableShowsAsTheSourceTheBytesCameFrom) {
    // Port1 and Port2 each send their own sequence; what Port1's check
    // receives is Port2's, whatever the wiring was said to be.
    DataChecker check(StreamsOf(m_sent), 0);
    check.StartTest();
    const Bytes own = Sequence(0, 5000);
    const Bytes other = Sequence(1, 5000);
    Send(0, own);
    Send(1, other);
    check.Check(other.data(), other.size());
    check.Finish(kLongAfterMs);
    EXPECT_EQ(check.Sources(), 1u << 1);
    EXPECT_EQ(Bytewise(check.Counts()), Counts(5000, 5000, 5000, 0, 0, 0));
}

TEST_F(DataCheckerTest, ABadByteBeforeTheLockIsStillJudgedAgainstTheStream) {
    const Bytes sent = RandomBytes(1000, 4);
    Send(1, sent);
    Bytes received = sent;
    received[3] ^= 0x01;
    Receive(received);
    EXPECT_EQ(Bytewise(Finished()), Counts(1000, 1000, 999, 1, 0, 0));
}

TEST_F(DataCheckerTest, BytesNoPortSentAreUnrecognisedAndCountedOneEach) {
    Send(0, RandomBytes(10000, 5));
    const Bytes noise = RandomBytes(6000, 6);
    Receive(noise);
    EXPECT_EQ(Bytewise(Finished()), Counts(6000, 0, 0, 0, 0, 0, 6000));
    EXPECT_EQ(m_checker.Sources(), 0u);

    // The check starts afresh at the port's Run.
    m_checker.StartRun({});
    EXPECT_EQ(m_checker.Counts(), CheckCounts{});
}

TEST_F(DataCheckerTest, IdenticalStreamsLeaveEverySenderAsSourceUntilTheyPart) {
    const Bytes common = RandomBytes(12000, 7);
    Send(1, common);
    Receive(Bytes(common.begin(), common.begin() + 1000));
    EXPECT_EQ(m_checker.Sources(), 1u << 1);
    // A port that starts sending the same bytes later is seen as a source too.
    Send(3, common);
    Receive(Bytes(common.begin() + 1000, common.begin() + 9000));
    EXPECT_EQ(m_checker.Sources(), (1u << 1) | (1u << 3));
    const Bytes more = RandomBytes(500, 8);
    Send(1, more);
    Send(3, RandomBytes(500, 9));
    Bytes rest(common.begin() + 9000, common.end());
    rest.insert(rest.end(), more.begin(), more.end());
    Receive(rest);
    EXPECT_EQ(m_checker.Sources(), 1u << 1);
    EXPECT_EQ(Finished().Errors(), 0u);
}

TEST_F(DataCheckerTest, OfPortsSendingAlikeTheBalanceFollowsThePortItselfElseTheLowest) {
    // Port5 and Port6 send the Alphabets line over and over, Port6 for a
    // while before; the check of Port6 follows Port6, that of Port8 Port5.
    const Bytes lines = Alphabets(200);
    Send(5, lines, 0, 39);
    Send(4, lines, 0, 39);
    DataChecker ofPort6(StreamsOf(m_sent), 5);
    DataChecker ofPort8(StreamsOf(m_sent), 7);
    for (DataChecker* check : {&ofPort6, &ofPort8}) {
        check->StartTest();
        check->Check(lines.data(), lines.size());
        check->Finish(kLongAfterMs);
        EXPECT_EQ(check->Sources(), (1u << 4) | (1u << 5));
        EXPECT_EQ(Bytewise(check->Counts()),
                  Counts(lines.size(), lines.size(), lines.size(), 0, 0, 0));
    }

    // On a cable, Port5 has sent a line more than Port6, or fifty: Port6
    // receives those lines as well, and Port5 none after Port6's last. Both
    // came from the other: nothing is extra, and nothing lost.
    for (const std::size_t ahead : {1u, 50u}) {
        Send(4, Alphabets(ahead));
        const Bytes more = Alphabets(200 + ahead);
        for (DataChecker* check : {&ofPort6, &ofPort8}) {
            const Bytes& received = check == &ofPort6 ? more : lines;
            check->StartTest();
            check->Check(received.data(), received.size());
            check->Finish(kLongAfterMs);
            EXPECT_EQ(check->Counts().Errors(), 0u) << ::testing::PrintToString(check->Counts());
            EXPECT_TRUE(check->Counts().Balanced());
        }
        m_sent[4].Reset();
        Send(4, lines, 0, 39);
    }
}

TEST_F(DataCheckerTest, OnARepeatingLineAFewBytesAddedAreExtraAndWholeLinesLostAreCounted) {
    // The Alphabets line repeats every 39 bytes, so where a fault lies is
    // only known to within a line; what was sent and received tells the rest
    // by the end: five bytes added are five extra (not five corrupted and
    // dozens lost), a block of ten received twice ten extra, a gap of 100
    // bytes and one of a whole line are counted whole, and so are the last
    // 100 bytes, which never came.
    const Bytes sent = Alphabets(400);
    const std::size_t end = sent.size();
    const auto run = [&](const std::vector<LineFault>& faults) {
        std::mt19937 random(9);
        testing::FaultyLine line = ApplyFaults(sent, faults, random);
        CheckRun how;
        how.period = kAlphabets.size();
        line.truth = Bytewise(line.truth);
        return std::pair{line, Bytewise(RunChecker(sent, line, how, random))};
    };
    const auto [added, addedCounts] =
        run({{LineFaultKind::Insert, 1001, 5}, {LineFaultKind::Double, 3000, 10}});
    EXPECT_EQ(addedCounts, added.truth);
    EXPECT_EQ(addedCounts.extra, 15u);
    const auto [gaps, gapCounts] = run({{LineFaultKind::Insert, 1001, 5},
                                        {LineFaultKind::Lose, 5000, 100},
                                        {LineFaultKind::Lose, 7000, 39},
                                        {LineFaultKind::Lose, end - 100, 100}});
    EXPECT_EQ(gapCounts, gaps.truth);
    EXPECT_EQ(gapCounts.lost, 239u);

    // Both at once, the line's bytes cannot tell: ten bytes received twice
    // with the last 100 lost make the very bytes that 29 lost with the last
    // 61 lost make (the same letters follow a line on). Of the two, the
    // balance counts the one with fewer errors, so it never counts more than
    // happened.
    const auto [doubled, doubledCounts] = run({{LineFaultKind::Insert, 1001, 5},
                                               {LineFaultKind::Double, 3000, 10},
                                               {LineFaultKind::Lose, 5000, 100},
                                               {LineFaultKind::Lose, 7000, 39},
                                               {LineFaultKind::Lose, end - 100, 100}});
    const auto [lost, lostCounts] = run({{LineFaultKind::Insert, 1001, 5},
                                         {LineFaultKind::Lose, 3000, 29},
                                         {LineFaultKind::Lose, 5039, 100},
                                         {LineFaultKind::Lose, 7039, 39},
                                         {LineFaultKind::Lose, end - 61, 61}});
    EXPECT_EQ(doubled.received, lost.received);
    EXPECT_EQ(doubledCounts, lost.truth);
    EXPECT_EQ(lostCounts, lost.truth);
    EXPECT_LT(doubledCounts.Errors(), doubled.truth.Errors());
}

TEST_F(DataCheckerTest, ARepeatingPatternIsVerifiedToItsLastByteWithoutAFalseError) {
    // The Alphabets line, sent over and over by two ports, one a little
    // behind the other, with a corrupted byte now and then: neither sender
    // parts from the bytes, and no byte is counted twice.
    const Bytes sent = Alphabets(500);
    Send(4, sent, 0, 39);
    Send(5, Bytes(sent.begin(), sent.end() - 7 * 39), 0, 39);
    Bytes received = sent;
    std::uint64_t corrupted = 0;
    for (std::size_t i = 1000; i < received.size(); i += 1300) {
        received[i] ^= 0x04;
        ++corrupted;
    }
    Receive(received);
    const CheckCounts counts = Finished();
    EXPECT_EQ(counts.verified, sent.size() - corrupted);
    EXPECT_EQ(counts.corrupted, corrupted);
    EXPECT_EQ(counts.Errors(), corrupted);
    EXPECT_EQ(m_checker.Sources(), (1u << 4) | (1u << 5));
}

TEST_F(DataCheckerTest, AFileOfARepeatingPatternIsPlacedByItsPassesWithoutAFalseError) {
    // A file of 'A' to 'Z' over and over, 3000 bytes, sent pass after pass,
    // each byte received 4950 bytes after it was sent (what is on its way).
    // Corrupted bytes are still found, and nothing else is an error.
    Bytes stream;
    for (int pass = 0; pass < 30; ++pass) {
        for (std::size_t i = 0; i < 3000; ++i) {
            stream.push_back(static_cast<std::uint8_t>('A' + i % 26));
        }
    }
    Bytes received = stream;
    // Wrong bytes close together fit a line further on as well as where
    // they are, until the pass ends: they are counted where they are.
    const std::vector<std::size_t> wrong = {5120, 5121, 5134, 5608, 20000};
    for (std::size_t at : wrong) {
        received[at] ^= 0x20;
    }
    constexpr std::size_t kPiece = 450;
    constexpr std::size_t kOnItsWay = 11 * kPiece;
    const auto piece = [](const Bytes& bytes, std::size_t from) {
        return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(from),
                     bytes.begin() + static_cast<std::ptrdiff_t>(from + kPiece));
    };
    m_sent[0].BeginRun(3000);
    for (std::size_t sent = 0; sent < stream.size(); sent += kPiece) {
        Send(0, piece(stream, sent));
        if (sent >= kOnItsWay) {
            Receive(piece(received, sent - kOnItsWay));
        }
    }
    for (std::size_t from = stream.size() - kOnItsWay; from < stream.size(); from += kPiece) {
        Receive(piece(received, from));
    }
    const CheckCounts counts = Finished();
    EXPECT_EQ(counts.corrupted, wrong.size());
    EXPECT_EQ(counts.Errors(), wrong.size());
    EXPECT_EQ(counts.verified + wrong.size(), counts.received);
}

TEST_F(DataCheckerTest, TheRunsWindowCountsItsFirstBytesLostAndPlacesBytesOnTheirWayFromBefore) {
    // Port1's sequence: 1000 bytes before the Run, 1000 after it.
    const Bytes before = Sequence(0, 2000);
    Send(0, Bytes(before.begin(), before.begin() + 1000));
    m_checker.StartTest();
    m_checker.Check(before.data(), 900);  // up to the Run, 100 still on their way
    m_checker.StartRun({1000});
    Send(0, Bytes(before.begin() + 1000, before.end()));
    // The last 100 bytes of before arrive and start the window; the run's
    // own bytes follow, but for its byte 1500, lost.
    Bytes received(before.begin() + 900, before.begin() + 1500);
    received.insert(received.end(), before.begin() + 1501, before.end());
    Receive(received);
    EXPECT_EQ(Bytewise(Finished()), Counts(1099, 1100, 1099, 0, 1, 0));

    // A run whose very first byte is lost counts it.
    m_checker.StartRun({2000});
    const Bytes next = Sequence(0, 3000);
    Send(0, Bytes(next.begin() + 2000, next.end()));
    Receive(Bytes(next.begin() + 2001, next.end()));
    EXPECT_EQ(Bytewise(Finished()), Counts(999, 1000, 999, 0, 1, 0));
}

TEST_F(DataCheckerTest, OnARepeatingLineBytesFromBeforeTheRunAreNoErrorWhicheverPortSentThem) {
    // Port5 sends the Alphabets line, one a millisecond, six of them before
    // the check's Run; they arrive ten lines behind. The check of Port8
    // follows Port5; that of Port6, which then sends the same from the Run
    // on, six lines fewer, follows Port6 until the bytes run past what it
    // sent.
    // A repeating line does not tell which repeat the first bytes are: the
    // window starts as early as bytes on their way can, and nothing is an
    // error.
    const Bytes line = Alphabets(1);
    for (const int self : {7, 5}) {
        for (SentStream& stream : m_sent) {
            stream.Reset();
            stream.BeginRun(line.size());
        }
        DataChecker check(StreamsOf(m_sent), self);
        check.StartTest();
        std::uint64_t ms = 0;
        for (int i = 0; i < 6; ++i) {
            Send(4, line, ms);
        }
        check.StartRun({0, 0, 0, 0, m_sent[4].End()});
        for (int received = 0; received < 406; ++ms) {
            if (ms < 400) {
                Send(4, line, ms);
            }
            if (ms < 400 && self == 5) {
                Send(5, line, ms);
            }
            for (; received + 10 < 6 + static_cast<int>(ms) || (ms >= 400 && received < 406);
                 ++received) {
                check.Check(line.data(), line.size(), ms);
            }
        }
        check.Finish(ms + kLongAfterMs);
        EXPECT_EQ(Bytewise(check.Counts()), Counts(406 * 39, 406 * 39, 406 * 39, 0, 0, 0)) << self;
    }
}

TEST_F(DataCheckerTest, BytesThatNeverComeAreLostOnceTheirTimeIsUpAndCutByTheStopBefore) {
    // 3000 bytes written at 0 ms, 1000 more at 5000 ms; the stream's bytes
    // take at most a second. The last 200 of each write never come.
    const Bytes sent = Sequence(2, 4000);
    Send(2, Bytes(sent.begin(), sent.begin() + 3000), 0);
    Receive(Bytes(sent.begin(), sent.begin() + 2800), 100);
    EXPECT_TRUE(m_checker.AwaitsTail());
    m_checker.Tick(900);  // still on their way
    EXPECT_EQ(m_checker.Counts().lost, 0u);
    m_checker.Tick(1001);  // their time is up
    EXPECT_EQ(m_checker.Counts().lost, 200u);
    EXPECT_FALSE(m_checker.AwaitsTail());
    // Late after all: they are placed, and no longer lost.
    Receive(Bytes(sent.begin() + 2800, sent.begin() + 2900), 1200);
    EXPECT_EQ(m_checker.Counts().lost, 100u);
    EXPECT_TRUE(m_checker.Counts().Balanced());

    // Test > Stop at 5500 ms: the second write's missing bytes were on their
    // way, cut by the stop; the first write's were lost.
    Send(2, Bytes(sent.begin() + 3000, sent.end()), 5000);
    Receive(Bytes(sent.begin() + 3000, sent.begin() + 3800), 5100);
    m_checker.Finish(5500);
    const CheckCounts counts = m_checker.Counts();
    EXPECT_EQ(counts.lost, 100u);
    EXPECT_EQ(counts.cut, 200u);
    EXPECT_EQ(counts.expected, 4000u);
    EXPECT_EQ(counts.Errors(), 100u);
    EXPECT_TRUE(counts.Balanced());
}

TEST_F(DataCheckerTest, LatencyIsTheTimeFromAWriteToTheArrivalOfItsBytes) {
    // 100 writes of 450 bytes, one every 10 ms, each received 25 ms after it
    // was written but for every tenth, 400 ms.
    const Bytes sent = Sequence(6, 45000);
    for (std::size_t write = 0; write < 100; ++write) {
        const std::uint64_t ms = 1000 + write * 10;
        const Bytes packet(sent.begin() + static_cast<std::ptrdiff_t>(write * 450),
                           sent.begin() + static_cast<std::ptrdiff_t>((write + 1) * 450));
        Send(6, packet, ms);
        m_checker.Check(packet.data(), packet.size(), ms + (write % 10 == 9 ? 400 : 25));
    }
    const LatencyFigures latency = m_checker.Latency();
    EXPECT_EQ(latency.medianMs, 25u);
    EXPECT_GE(latency.p99Ms, 384u);  // in a bin within 6 % of 400 ms
    EXPECT_LE(latency.p99Ms, 400u);
    EXPECT_GT(latency.samples, 100u);
}

TEST_F(DataCheckerTest, TheBitErrorRateIsTheWrongBitsOverTheBitsChecked) {
    const Bytes sent = Sequence(1, 10000);
    Send(1, sent);
    Bytes received = sent;
    received[100] ^= 0x01;
    received[5000] ^= 0x81;
    received[9000] ^= 0x07;
    Receive(received);
    const CheckCounts counts = Finished();
    EXPECT_EQ(counts.corrupted, 3u);
    EXPECT_EQ(counts.corruptedBits, 6u);
    EXPECT_EQ(counts.bitsChecked, 80000u);
    EXPECT_DOUBLE_EQ(counts.BitErrorRate(), 6.0 / 80000.0);
}

}  // namespace
}  // namespace quorvel
