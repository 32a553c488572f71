// Every byte a port receives is checked against what its source sent, on the
// simulated card: plugs, cables, the card's internal loopback, other line
// settings and open ports, faults the card puts in, and a run that stops at
// its first error.
#include <gtest/gtest.h>

#include <array>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "engine/PacketBuilder.h"
#include "fakes/EngineOnCard.h"
#include "fakes/FaultyLine.h"

namespace quorvel {
namespace {

// A port's own file: random bytes, so no two ports send alike.
std::vector<std::uint8_t> FileOf(int port) {
    std::mt19937 random(static_cast<unsigned>(port) + 1);
    std::vector<std::uint8_t> bytes(5000);
    for (auto& byte : bytes) {
        byte = static_cast<std::uint8_t>(random());
    }
    return bytes;
}

// A file of the letters A to Z over and over, whole alphabets only: the
// stream repeats every 26 bytes, across its passes too.
std::vector<std::uint8_t> LettersFile() {
    std::vector<std::uint8_t> bytes(26 * 115);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>('A' + i % 26);
    }
    return bytes;
}

class CheckedDataTest : public testing::EngineOnCard {
  protected:
    // 115200 bit/s: a receive thread slowed by a sanitizer on a busy machine
    // still keeps up, so no overrun blurs what is counted.
    void AtTheRateASlowReceiverKeepsUpWith(std::initializer_list<int> ports) {
        for (int port : ports) {
            m_records.m_PortRegistry[static_cast<std::size_t>(port)].nBaud = 10;
        }
    }
    // Every pattern a port sends, one a port, each port on its plug: the fixed
    // lines, a text and a text of one letter, a file of random bytes and one
    // that repeats, and the ports' own sequences.
    void SendEveryPattern() {
        const auto send = [&](int port, PatternKind kind, std::string text = {}) {
            PortPatternSettings pattern;
            pattern.nAlpha = kind == PatternKind::Alphabets ? 1 : 0;
            pattern.nQuickBrown = kind == PatternKind::QuickBrown ? 1 : 0;
            pattern.nUserData = kind == PatternKind::UserText ? 1 : 0;
            pattern.nPrbs = kind == PatternKind::Prbs ? 1 : 0;
            pattern.strUserData = std::move(text);
            m_runtime.SetPattern(port, pattern);
        };
        send(0, PatternKind::Alphabets);
        send(1, PatternKind::QuickBrown);
        send(2, PatternKind::UserText, "HELLO-1234");
        send(3, PatternKind::UserText, "A");
        send(4, PatternKind::File);
        m_runtime.SetFileData(4, FileOf(4));
        send(5, PatternKind::File);
        m_runtime.SetFileData(5, LettersFile());
        send(6, PatternKind::Prbs);
        send(7, PatternKind::Prbs);
    }
};

constexpr std::uint8_t Bit(int port) {
    return static_cast<std::uint8_t>(1u << port);
}

// A fault the card puts on every port's received bytes.
enum class CardFault { BitErrors, DropEvery, HeldReceiver, UnplugAfter };

class EachCardFaultTest : public CheckedDataTest, public ::testing::WithParamInterface<CardFault> {
  protected:
    void Apply(int port) {
        switch (GetParam()) {
            case CardFault::BitErrors:
                m_card.SetBitErrorRate(port, 0.0005);
                break;
            case CardFault::DropEvery:
                m_card.DropEvery(port, 997);
                break;
            case CardFault::HeldReceiver:
                m_runtime.HoldReceive(port, 300, 2500);  // its queue overruns
                break;
            case CardFault::UnplugAfter:
                m_card.UnplugAfter(port, 1.0);
                break;
        }
    }
    // What the card's fault took from the port's source's bytes.
    std::uint64_t Missing(int port) const {
        const CardFaultCounts card = m_card.FaultCountsOf(port);
        return GetParam() == CardFault::UnplugAfter
                   ? m_runtime.BytesSentThisRun(port) - m_runtime.Check(port).Counts().received
                   : card.dropped + card.overrun;
    }
};

TEST_P(EachCardFaultTest, OnEachPatternTheBalanceIsWhatTheCardDid) {
    constexpr std::array kPorts{0, 1, 2, 3, 4, 5, 6, 7};
    SendEveryPattern();
    for (int port : kPorts) {
        m_records.m_PortRegistry[static_cast<std::size_t>(port)].nPortOpen = 1;
        m_records.m_PortRegistry[static_cast<std::size_t>(port)].nBaud = 10;
    }
    m_runtime.OnTestStart();
    for (int port : kPorts) {
        Apply(port);
        m_runtime.OnRunPort(port);
    }
    for (int port : kPorts) {
        ASSERT_TRUE(m_gui.RunUntil([&] {
            return (m_runtime.Check(port).Counts().received > 15000 ||
                    m_card.DevicePath(port).empty()) &&
                   (GetParam() != CardFault::HeldReceiver || m_runtime.ReceiveHeld(port));
        })) << port;
    }
    // Each run ends, and its last bytes arrive; then the time of those that
    // never came runs out.
    for (int port : kPorts) {
        m_runtime.OnStopPort(port);
    }
    for (int port : kPorts) {
        ASSERT_TRUE(m_gui.RunUntil([&] {
            return m_card.DevicePath(port).empty() ||
                   m_runtime.Check(port).Counts().received + Missing(port) ==
                       m_runtime.BytesSentThisRun(port);
        })) << port;
    }
    m_clock.Advance(10'000);
    for (int port : kPorts) {
        ASSERT_TRUE(m_gui.RunUntil([&] {
            const CheckCounts counts = m_runtime.Check(port).Counts();
            return counts.Balanced() && counts.expected == m_runtime.BytesSentThisRun(port);
        })) << "Port"
            << port + 1 << " " << ::testing::PrintToString(m_runtime.Check(port).Counts());
    }
    ASSERT_TRUE(StopTest());
    for (int port : kPorts) {
        const CheckCounts counts = m_runtime.Check(port).Counts();
        const CardFaultCounts card = m_card.FaultCountsOf(port);
        SCOPED_TRACE(::testing::Message()
                     << "Port" << port + 1 << " " << ::testing::PrintToString(counts));
        EXPECT_TRUE(counts.Balanced());
        EXPECT_EQ(counts.expected, m_runtime.BytesSentThisRun(port));
        EXPECT_EQ(counts.corrupted, card.corrupted);
        EXPECT_EQ(counts.lost, Missing(port));
        EXPECT_EQ(counts.extra + counts.unrecognised + counts.cut, 0u);
        EXPECT_NE(m_runtime.Check(port).Sources() & Bit(port), 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(CardFaults, EachCardFaultTest,
                         ::testing::Values(CardFault::BitErrors, CardFault::DropEvery,
                                           CardFault::HeldReceiver, CardFault::UnplugAfter));

TEST_F(CheckedDataTest, EachPortsBytesAreVerifiedAgainstTheStreamTheyCameFrom) {
    // Port1 on its plug, Port3 and Port4 on a cable, Port5 in the card's
    // internal loopback with its cable to Port6, Port8 with nothing attached.
    m_card.AttachCable(2, 3);
    m_card.AttachCable(4, 5);
    m_card.AttachNothing(7);
    Choose({0, 2, 3, 4, 5, 7});
    AtTheRateASlowReceiverKeepsUpWith({0, 2, 3, 4, 5, 7});
    for (int port : {0, 2, 3, 4, 5, 7}) {
        SetPattern(port, 0, 0, 0);
        m_runtime.SetFileData(port, FileOf(port));
    }
    m_runtime.OnTestStart();
    m_runtime.OnLoopTest(4, true);
    for (int port : {0, 2, 3, 4, 7}) {
        m_runtime.OnRunPort(port);
    }
    for (int port : {0, 2, 3, 4}) {
        ASSERT_TRUE(m_gui.RunUntil([&] { return m_runtime.Check(port).Counts().verified > 20000; }))
            << port;
    }
    ASSERT_TRUE(StopTest());
    EXPECT_EQ(m_runtime.Check(0).Sources(), Bit(0));
    EXPECT_EQ(m_runtime.Check(2).Sources(), Bit(3));
    EXPECT_EQ(m_runtime.Check(3).Sources(), Bit(2));
    EXPECT_EQ(m_runtime.Check(4).Sources(), Bit(4));
    for (int port : {0, 2, 3, 4}) {
        // Nothing is lost but what an overrun took (a receive thread that fell
        // behind, as on a busy machine under a sanitizer).
        const CheckCounts counts = m_runtime.Check(port).Counts();
        EXPECT_EQ(counts.Errors(), counts.lost) << port;
        EXPECT_LE(counts.lost, m_card.FaultCountsOf(port).overrun) << port;
        EXPECT_EQ(counts.verified, counts.received) << port;
        EXPECT_EQ(m_console.Snapshot(port).errorCount, std::to_string(counts.Errors())) << port;
    }
    // Port6 (its partner in loopback, not running) and Port8 heard nothing.
    for (int port : {5, 7}) {
        EXPECT_EQ(m_runtime.Check(port).Counts(), CheckCounts{}) << port;
        EXPECT_EQ(m_runtime.Check(port).Sources(), 0u) << port;
    }
}

TEST_F(CheckedDataTest, WhatTheCardsFaultsDidIsCountedAsTheCardCountsIt) {
    // Port1 on its plug with bits flipped, Port3's bytes to Port4 on a cable
    // with every 997th lost, Port5 in the internal loopback with both.
    m_card.AttachCable(2, 3);
    m_card.SetBitErrorRate(0, 0.0005);
    m_card.DropEvery(3, 997);
    m_card.SetBitErrorRate(4, 0.0002);
    m_card.DropEvery(4, 499);
    Choose({0, 2, 3, 4});
    AtTheRateASlowReceiverKeepsUpWith({0, 2, 3, 4});
    for (int port : {0, 2, 4}) {
        SetPattern(port, 0, 0, 0);
        m_runtime.SetFileData(port, FileOf(port));
    }
    m_runtime.OnTestStart();
    m_runtime.OnLoopTest(4, true);
    const std::vector<std::pair<int, int>> sourceOf = {{0, 0}, {3, 2}, {4, 4}};
    for (const auto& [receiver, source] : sourceOf) {
        m_runtime.OnRunPort(source);
    }
    for (const auto& [receiver, source] : sourceOf) {
        ASSERT_TRUE(m_gui.RunUntil([&] {
            return m_runtime.Check(receiver).Counts().received > 20000;
        })) << receiver;
    }
    // Every byte sent arrives before the end, but for those the card dropped
    // and those it lost in an overrun (a receive thread that fell behind, as
    // on a busy machine under a sanitizer).
    for (const auto& [receiver, source] : sourceOf) {
        m_runtime.OnStopPort(source);
    }
    for (const auto& [receiver, source] : sourceOf) {
        ASSERT_TRUE(m_gui.RunUntil([&] {
            const CardFaultCounts card = m_card.FaultCountsOf(receiver);
            return m_runtime.Check(receiver).Counts().received + card.dropped + card.overrun ==
                   m_runtime.BytesSentThisRun(source);
        })) << "Port"
            << receiver + 1 << " received " << m_runtime.Check(receiver).Counts().received
            << ", the card dropped " << m_card.FaultCountsOf(receiver).dropped << " and overran "
            << m_card.FaultCountsOf(receiver).overrun << ", Port" << source + 1 << " sent "
            << m_runtime.BytesSentThisRun(source) << " and put " << m_card.BytesSentBy(source)
            << " on its line";
    }
    ASSERT_TRUE(StopTest());
    for (const auto& [receiver, source] : sourceOf) {
        const CheckCounts counts = m_runtime.Check(receiver).Counts();
        const CardFaultCounts card = m_card.FaultCountsOf(receiver);
        const std::uint64_t missing = card.dropped + card.overrun;
        // Every fault is counted once as its kind, but at the very end of the
        // stream: a byte dropped last of all has nothing after it to show the
        // gap, and a byte corrupted right after that drop reads as the dropped
        // byte corrupted.
        EXPECT_GE(counts.corrupted, card.corrupted) << receiver;
        EXPECT_LE(counts.corrupted, card.corrupted + 1) << receiver;
        EXPECT_LE(counts.lost, missing) << receiver;
        if (card.overrun == 0) {
            // An overrun can lose whole passes of a file, which leave no gap
            // to see; without one, every drop is seen.
            EXPECT_GE(counts.lost + 1, card.dropped) << receiver;
        }
        EXPECT_LE(counts.corrupted + counts.lost, card.corrupted + missing) << receiver;
        EXPECT_EQ(counts.Errors(), counts.corrupted + counts.lost) << receiver;
    }
    EXPECT_GT(m_card.FaultCountsOf(0).corrupted, 0u);
    EXPECT_GT(m_card.FaultCountsOf(3).dropped, 0u);
    EXPECT_GT(m_card.FaultCountsOf(4).dropped, 0u);
}

TEST_F(CheckedDataTest, OnTheirOwnSequencesACrossedCableAndItsGapsAreCountedExactly) {
    // Port1 and Port2 on a cable, each sending its own sequence: what each
    // receives is named as the other's from the data alone. Port2 loses a
    // block of 100 bytes and one of 4096 on the way, Port1 all the bytes
    // after its first 20000.
    m_card.AttachCable(0, 1);
    Choose({0, 1});
    AtTheRateASlowReceiverKeepsUpWith({0, 1});
    for (int port : {0, 1}) {
        PortPatternSettings pattern;
        pattern.nPrbs = 1;
        m_runtime.SetPattern(port, pattern);
    }
    m_card.DropBlock(1, 3000, 100);
    m_card.DropBlock(1, 10000, 4096);
    m_card.DropBlock(0, 20000, ~std::uint64_t{0});
    ASSERT_TRUE(StartTest());
    // Each Run clears its port's receive queue: both lines wait until both
    // runs have begun, so that no byte of the other's is cleared.
    for (int port : {0, 1}) {
        m_card.Stall(port, true);
        m_runtime.OnRunPort(port);
    }
    for (int port : {0, 1}) {
        m_card.Stall(port, false);
    }
    ASSERT_TRUE(m_gui.RunUntil([&] {
        return m_runtime.Check(1).Counts().received > 20000 &&
               m_runtime.BytesSentThisRun(1) > 22000;
    }));
    m_runtime.OnStopPort(0);
    m_runtime.OnStopPort(1);
    ASSERT_TRUE(m_gui.RunUntil([&] {
        return m_runtime.Check(1).Counts().received + m_card.FaultCountsOf(1).dropped ==
                   m_runtime.BytesSentThisRun(0) &&
               m_card.FaultCountsOf(0).dropped + 20000 == m_runtime.BytesSentThisRun(1);
    }));
    m_clock.Advance(10'000);  // the last bytes' time runs out
    ASSERT_TRUE(m_gui.RunUntil([&] {
        return m_runtime.Check(0).Counts().expected == m_runtime.BytesSentThisRun(1) &&
               m_runtime.Check(1).Counts().expected == m_runtime.BytesSentThisRun(0);
    }));
    ASSERT_TRUE(StopTest());
    for (const auto& [receiver, source, lost] :
         {std::tuple{0, 1, m_runtime.BytesSentThisRun(1) - 20000},
          std::tuple{1, 0, std::uint64_t{4196}}}) {
        const CheckCounts counts = m_runtime.Check(receiver).Counts();
        SCOPED_TRACE(::testing::Message()
                     << "Port" << receiver + 1 << " " << ::testing::PrintToString(counts));
        EXPECT_EQ(m_runtime.Check(receiver).Sources(), Bit(source));
        EXPECT_EQ(counts.lost, lost);
        EXPECT_EQ(counts.lost, m_card.FaultCountsOf(receiver).dropped);
        EXPECT_EQ(counts.expected, m_runtime.BytesSentThisRun(source));
        EXPECT_EQ(counts.verified, counts.received);
        EXPECT_EQ(counts.Errors(), counts.lost);
        EXPECT_TRUE(counts.Balanced());
    }
}

TEST_F(CheckedDataTest, TwoPortsSendingAlikeAreBothNamedAsTheSource) {
    Choose({6, 7});  // plugs, both sending the Alphabets line
    m_runtime.OnTestStart();
    m_runtime.OnRunPort(6);
    m_runtime.OnRunPort(7);
    ASSERT_TRUE(m_gui.RunUntil([&] { return m_runtime.Check(6).Counts().verified > 5000; }));
    ASSERT_TRUE(StopTest());
    EXPECT_EQ(m_runtime.Check(6).Sources(), Bit(6) | Bit(7));
    EXPECT_EQ(m_runtime.Check(6).Counts().Errors(), 0u);
}

TEST_F(CheckedDataTest, OtherLineSettingsGiveUnrecognisedBytesAndStopOnErrorEndsTheRun) {
    // Port2 reads Port1's 9600 bit/s characters at 19200 bit/s: nothing it
    // gets is what anyone sent.
    m_card.AttachCable(0, 1);
    Choose({0, 1});
    m_records.m_PortRegistry[0].nBaud = 6;
    m_records.m_PortRegistry[1].nBaud = 7;
    m_console.Change(1, [](testing::RecordingConsole::Port& p) { p.stopOnError = true; });
    m_runtime.OnTestStart();
    m_runtime.OnRunPort(1);
    m_runtime.OnRunPort(0);
    ASSERT_TRUE(m_gui.RunUntil([&] { return m_runtime.Check(1).Counts().received > 300; }));
    // Port2's run stopped at its first error, and said why.
    ASSERT_TRUE(m_gui.RunUntil([&] { return !m_runtime.IsPortRunning(1); }));
    EXPECT_EQ(m_console.Snapshot(1).stopCauses, std::vector<StopCause>{StopCause::Error});
    EXPECT_NE(m_runtime.Check(1).FirstErrorMs(), 0);
    EXPECT_TRUE(m_runtime.IsPortRunning(0));  // Port1 does not stop on error
    ASSERT_TRUE(StopTest());
    const CheckCounts counts = m_runtime.Check(1).Counts();
    EXPECT_EQ(counts.verified, 0u);
    EXPECT_EQ(counts.unrecognised, counts.received);
    EXPECT_EQ(m_runtime.Check(1).Sources(), 0u);
    EXPECT_EQ(m_console.Snapshot(1).errorCount, std::to_string(counts.Errors()));
}

}  // namespace
}  // namespace quorvel
