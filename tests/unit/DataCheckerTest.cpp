// The data checker on streams the test makes: every byte received is either
// verified or counted as exactly one kind of error, as the card would count
// the faults it put in.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "engine/DataChecker.h"
#include "engine/TestData.h"

namespace quorvel {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes RandomBytes(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    Bytes bytes(size);
    for (auto& byte : bytes) {
        byte = static_cast<std::uint8_t>(random());
    }
    return bytes;
}

class DataCheckerTest : public ::testing::Test {
  protected:
    void Send(int port, const Bytes& bytes) {
        m_sent[static_cast<std::size_t>(port)].Append(bytes.data(), bytes.size());
    }
    // Hands `bytes` to the checker in chunks of every size from 1 to 450 in
    // turn, as reads of whatever is queued would.
    void Receive(const Bytes& bytes) {
        std::size_t at = 0;
        std::size_t chunk = 1;
        while (at < bytes.size()) {
            const std::size_t size = std::min(chunk, bytes.size() - at);
            m_checker.Check(bytes.data() + at, size);
            at += size;
            chunk = chunk % 450 + 1;
        }
    }

    static DataChecker::Streams StreamsOf(std::array<SentStream, 8>& sent) {
        DataChecker::Streams streams{};
        for (std::size_t i = 0; i < sent.size(); ++i) {
            streams[i] = &sent[i];
        }
        return streams;
    }

    std::array<SentStream, 8> m_sent;
    DataChecker m_checker{StreamsOf(m_sent)};
};

TEST_F(DataCheckerTest, WhatCameBackWholeIsVerifiedAndItsSourceKnown) {
    const Bytes sent = RandomBytes(20000, 1);
    Send(2, sent);
    Send(5, RandomBytes(20000, 2));
    Receive(sent);
    EXPECT_EQ(m_checker.Counts(), (CheckCounts{20000, 20000, 0, 0, 0, 0}));
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
    const std::size_t apart = fileLike ? 400 : 1;
    std::size_t lastFault = 0;
    const auto faultAt = [&](std::size_t i, std::size_t period, std::size_t phase) {
        const bool fault = i % period == phase && i >= lastFault + apart;
        lastFault = fault ? i : lastFault;
        return fault;
    };
    Bytes received;
    std::uint64_t corrupted = 0, lost = 0, extra = 0;
    for (std::size_t i = 0; i < sent.size(); ++i) {
        if (faultAt(i, 997, 500)) {
            received.push_back(static_cast<std::uint8_t>(sent[i] ^ 0x10));  // a bit flipped
            ++corrupted;
        } else if (faultAt(i, 1499, 700)) {
            ++lost;  // dropped on the way
        } else if (faultAt(i, 2003, 900)) {
            received.push_back(sent[i]);
            received.push_back(0);  // a framing error's NUL after it
            ++extra;
        } else if (faultAt(i, 5003, 1000)) {
            lost += 40;  // a burst lost
            i += 39;
        } else if (faultAt(i, 20011, 20000)) {
            lost += 6000;  // the receive queue overran
            i += 5999;
        } else if (!fileLike && faultAt(i, 3001, 1500) && i + 8 < sent.size()) {
            // A byte lost with two corrupted close after it, on a noisy line
            // (among like bytes, as two faults in a run, they cannot be told).
            received.insert(received.end(), sent.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                            sent.begin() + static_cast<std::ptrdiff_t>(i) + 8);
            received[received.size() - 5] ^= 0x04;
            received[received.size() - 1] ^= 0x40;
            lost += 1;
            corrupted += 2;
            i += 7;
        } else if (!fileLike && faultAt(i, 4001, 2000)) {
            // A corrupted byte with one lost two after it.
            received.push_back(static_cast<std::uint8_t>(sent[i] ^ 0x02));
            received.push_back(sent[i + 1]);
            ++corrupted;
            ++lost;
            i += 2;
        } else {
            received.push_back(sent[i]);
        }
    }
    Receive(received);
    m_checker.Finish();
    const CheckCounts counts = m_checker.Counts();
    EXPECT_EQ(counts.corrupted, corrupted);
    EXPECT_EQ(counts.lost, lost);
    EXPECT_EQ(counts.extra, extra);
    EXPECT_EQ(counts.unrecognised, 0u);
    EXPECT_EQ(counts.verified + counts.corrupted + counts.extra, received.size());
}

INSTANTIATE_TEST_SUITE_P(RandomAndFileLikeBytes, EachFaultTest, ::testing::Bool());

TEST_F(DataCheckerTest, ABadByteBeforeTheLockIsStillJudgedAgainstTheStream) {
    const Bytes sent = RandomBytes(1000, 4);
    Send(1, sent);
    Bytes received = sent;
    received[3] ^= 0x01;
    Receive(received);
    EXPECT_EQ(m_checker.Counts(), (CheckCounts{1000, 999, 1, 0, 0, 0}));
}

TEST_F(DataCheckerTest, BytesNoPortSentAreUnrecognisedAndCountedOneEach) {
    Send(0, RandomBytes(10000, 5));
    const Bytes noise = RandomBytes(6000, 6);
    Receive(noise);
    m_checker.Finish();  // what still waited is judged at the end
    EXPECT_EQ(m_checker.Counts(), (CheckCounts{6000, 0, 0, 0, 0, 6000}));
    EXPECT_EQ(m_checker.Sources(), 0u);

    // The check starts afresh at the port's Run.
    m_checker.Reset();
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
    EXPECT_EQ(m_checker.Counts().Errors(), 0u);
}

TEST_F(DataCheckerTest, ARepeatingPatternIsVerifiedToItsLastByteWithoutAFalseError) {
    // The Alphabets line, sent over and over by two ports, one a little
    // behind the other: the lock may be taken a period ahead of the true
    // place and is moved back when the senders stop, and a corrupted byte
    // now and then parts neither sender from the bytes.
    Bytes sent;
    for (int packet = 0; packet < 500; ++packet) {
        sent.insert(sent.end(), kAlphabets.begin(), kAlphabets.end());
    }
    Send(4, sent);
    Send(5, Bytes(sent.begin(), sent.end() - 7 * 39));
    Bytes received = sent;
    std::uint64_t corrupted = 0;
    for (std::size_t i = 1000; i < received.size(); i += 1300) {
        received[i] ^= 0x04;
        ++corrupted;
    }
    Receive(received);
    m_checker.Finish();
    EXPECT_EQ(m_checker.Counts().verified, sent.size() - corrupted);
    EXPECT_EQ(m_checker.Counts().corrupted, corrupted);
    EXPECT_EQ(m_checker.Counts().Errors(), corrupted);
    EXPECT_EQ(m_checker.Sources(), (1u << 4) | (1u << 5));
}

TEST_F(DataCheckerTest, AFileOfARepeatingPatternIsPlacedByItsPassesWithoutAFalseError) {
    // A file of 'A' to 'Z' over and over, 3000 bytes, sent pass after pass,
    // each byte received 4950 bytes after it was sent (what is on its way):
    // the lock falls at any repeat of the alphabet, and only where a pass
    // starts again does the true place show. A corrupted byte is still found.
    Bytes stream;
    for (int pass = 0; pass < 30; ++pass) {
        for (std::size_t i = 0; i < 3000; ++i) {
            stream.push_back(static_cast<std::uint8_t>('A' + i % 26));
        }
    }
    Bytes received = stream;
    received[20000] ^= 0x20;
    constexpr std::size_t kPiece = 450;
    constexpr std::size_t kOnItsWay = 11 * kPiece;
    const auto piece = [](const Bytes& bytes, std::size_t from) {
        return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(from),
                     bytes.begin() + static_cast<std::ptrdiff_t>(from + kPiece));
    };
    for (std::size_t sent = 0; sent < stream.size(); sent += kPiece) {
        Send(0, piece(stream, sent));
        if (sent >= kOnItsWay) {
            Receive(piece(received, sent - kOnItsWay));
        }
    }
    for (std::size_t from = stream.size() - kOnItsWay; from < stream.size(); from += kPiece) {
        Receive(piece(received, from));
    }
    m_checker.Finish();
    const CheckCounts counts = m_checker.Counts();
    EXPECT_EQ(counts.corrupted, 1u);
    EXPECT_EQ(counts.Errors(), 1u);
    EXPECT_EQ(counts.verified + 1, counts.received);
}

TEST_F(DataCheckerTest, AFileSentPassesAheadOfWhatArrivesHasEachFaultCountedAsItsKind) {
    // A file of 5000 random bytes in packets, its last zero-filled, sent pass
    // after pass with its sender more than a pass ahead of what arrives: the
    // place may be taken a pass too far, where too little of the stream
    // follows to tell a fault by. Every 499th byte is lost and some bits flip.
    Bytes pass = RandomBytes(5000, 11);
    pass.resize(5400, 0);
    Bytes stream;
    for (int i = 0; i < 8; ++i) {
        stream.insert(stream.end(), pass.begin(), pass.end());
    }
    Bytes received;
    std::vector<std::size_t> sentAt;  // where each received byte stands in the stream
    std::uint64_t corrupted = 0, lost = 0;
    for (std::size_t i = 0; i < stream.size(); ++i) {
        if (i % 499 == 498) {
            ++lost;
            continue;
        }
        const bool flipped = i % 613 == 100;
        received.push_back(static_cast<std::uint8_t>(stream[i] ^ (flipped ? 0x10 : 0)));
        sentAt.push_back(i);
        corrupted += flipped ? 1 : 0;
    }
    constexpr std::size_t kAhead = 8000;
    std::size_t sent = 0;
    for (std::size_t at = 0; at < received.size(); at += 300) {
        const std::size_t size = std::min<std::size_t>(300, received.size() - at);
        const std::size_t upTo = std::min(stream.size(), sentAt[at + size - 1] + kAhead);
        if (upTo > sent) {
            Send(0, Bytes(stream.begin() + static_cast<std::ptrdiff_t>(sent),
                          stream.begin() + static_cast<std::ptrdiff_t>(upTo)));
            sent = upTo;
        }
        m_checker.Check(received.data() + at, size);
    }
    m_checker.Finish();
    const CheckCounts counts = m_checker.Counts();
    EXPECT_EQ(counts.corrupted, corrupted);
    // The last byte lost falls in the zero fill at the very end, where
    // nothing after it shows the gap.
    EXPECT_EQ(counts.lost + 1, lost);
    EXPECT_EQ(counts.Errors(), counts.corrupted + counts.lost);
}

}  // namespace
}  // namespace quorvel
