// A test's modem lines on the simulated card through the engine: what Test >
// Start shows, the operator's DTR and RTS, a device without lines, the line
// errors of a run, and hardware flow control proved by a receiver that stops
// reading.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "engine/LineControl.h"
#include "fakes/EngineOnCard.h"
#include "fakes/FakeComPorts.h"

namespace quorvel {
namespace {

using testing::RecordedMessage;
using Clock = std::chrono::steady_clock;

constexpr ModemLines kAllUp{true, true, true, true, true, true};

// Other COM numbers lead to pseudo-terminals that no card answers for, which
// have no modem lines: the card hands them to these.
struct PtysBehindTheCard {
    testing::FakeComPorts m_ptys;
};

class LiveLinesTest : public ::testing::Test,
                      protected PtysBehindTheCard,
                      protected testing::CardOnPlugs,
                      protected testing::EngineHarness {
  protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(m_card.Start(&error)) << error;
        m_card.Install();
    }

    ModemLines Shown(int port) {
        const std::vector<ModemLines> lines = m_console.Snapshot(port).lines;
        return lines.empty() ? ModemLines{} : lines.back();
    }

    bool ShowsEventually(int port, const ModemLines& lines) {
        return m_gui.RunUntil([&] { return Shown(port) == lines; });
    }

    // Runs the GUI loop until what the card sent for `port` and what the
    // port received have stood still for a while: everything on its way has
    // arrived or been lost.
    bool SettleLine(int port) {
        std::uint64_t sent = 0;
        std::uint64_t received = 0;
        auto still = Clock::now();
        return m_gui.RunUntil(
            [&] {
                const std::uint64_t nowSent = m_card.BytesSentBy(port);
                const std::uint64_t nowReceived = m_runtime.BytesReceived(port);
                if (nowSent != sent || nowReceived != received) {
                    sent = nowSent;
                    received = nowReceived;
                    still = Clock::now();
                }
                return Clock::now() - still > std::chrono::milliseconds(400);
            },
            std::chrono::milliseconds(20000));
    }

    // Port1 on its plug sends a file for 3 s with its receiver held for 2 s
    // from 0.3 s on, hardware flow control on or off.
    void RunWithAHeldReceiver(bool rtsCts) {
        Choose({0});
        m_records.m_PortRegistry[0].nFlowCtrl = rtsCts ? 0 : 2;
        SetPattern(0, 0, 0, 0);
        m_runtime.SetFileData(0, std::vector<std::uint8_t>(kMaxFileData, 'F'));
        ASSERT_TRUE(StartTest());
        m_runtime.OnRunPort(0);
        m_runtime.HoldReceive(0, 300, 2000);
        const auto end = Clock::now() + std::chrono::seconds(3);
        m_gui.RunUntil([&] { return Clock::now() >= end; }, std::chrono::seconds(5));
        m_runtime.OnStopPort(0);
        ASSERT_TRUE(SettleLine(0));
        ASSERT_TRUE(StopTest());
        EXPECT_TRUE(m_runtime.ReceiveHeld(0));
    }
};

TEST_F(LiveLinesTest, TestStartShowsTheLinesAndTheOperatorSwitchesDtrAndRts) {
    Choose({0, 1});
    m_records.m_PortRegistry[1].nFlowCtrl = 0;  // hardware: the handshake drives RTS
    ASSERT_TRUE(StartTest());
    EXPECT_EQ(m_console.Snapshot(0).indicators, (LineIndicatorState{true, true, true}));
    EXPECT_EQ(m_console.Snapshot(1).indicators, (LineIndicatorState{true, true, false}));
    EXPECT_EQ(m_console.Snapshot(2).indicators, LineIndicatorState{});  // not open
    EXPECT_TRUE(ShowsEventually(0, kAllUp));
    EXPECT_TRUE(ShowsEventually(1, kAllUp));

    // Through the plug: RTS drives CTS, DTR drives DSR, DCD and RI, each
    // change shown as the receive thread hears of it.
    m_runtime.OnSetOutputLine(0, OutputLine::Rts, false);
    EXPECT_TRUE(ShowsEventually(0, ModemLines{false, true, true, true, true, false}));
    m_runtime.OnSetOutputLine(0, OutputLine::Dtr, false);
    EXPECT_TRUE(ShowsEventually(0, ModemLines{}));
    m_runtime.OnSetOutputLine(0, OutputLine::Dtr, true);
    m_runtime.OnSetOutputLine(0, OutputLine::Rts, true);
    EXPECT_TRUE(ShowsEventually(0, kAllUp));
    EXPECT_EQ(m_card.ModemLinesOf(0), kAllUp);
    const LineCounts counted = m_runtime.Lines(0).SinceRun().counts;
    EXPECT_EQ(counted.ctsChanges, 2u);
    EXPECT_EQ(counted.dsrChanges, 2u);
    EXPECT_EQ(counted.dcdChanges, 2u);
    EXPECT_EQ(counted.riChanges, 2u);

    // Under hardware flow control RTS stays with the handshake.
    m_runtime.OnSetOutputLine(1, OutputLine::Rts, false);
    EXPECT_TRUE(m_card.ModemLinesOf(1).rts);
    EXPECT_TRUE(m_messages.Messages().empty()) << m_messages.Shown();

    ASSERT_TRUE(StopTest());
    EXPECT_EQ(m_console.Snapshot(0).indicators, LineIndicatorState{});
}

TEST_F(LiveLinesTest, APortWithoutModemLinesSaysSoOnceAndItsIndicatorsAreNotAvailable) {
    m_ptys.Add(30);
    m_ptys.Add(31);
    Choose({0, 1, 2});
    m_records.m_PortRegistry[1].nComBase = 29;
    m_records.m_PortRegistry[2].nComBase = 30;
    ASSERT_TRUE(StartTest());
    const std::vector<RecordedMessage> note{
        {"These ports have no modem lines (a pseudo-terminal has none): their line indicators "
         "are not available.\nCOM30\nCOM31",
         kNoLinesCaption, mb::kIconAsterisk, MessageOwner::MainWindow}};
    EXPECT_EQ(m_messages.Messages(), note);
    EXPECT_EQ(m_console.Snapshot(1).indicators, (LineIndicatorState{true, false, false}));
    EXPECT_EQ(m_console.Snapshot(0).indicators, (LineIndicatorState{true, true, true}));
    EXPECT_FALSE(m_runtime.Lines(1).SinceRun().available);
    // Nothing to switch, and nothing said of it.
    m_runtime.OnSetOutputLine(1, OutputLine::Dtr, false);
    EXPECT_EQ(m_messages.Messages(), note);
    ASSERT_TRUE(StopTest());

    // Once a start: the next one says it again.
    ASSERT_TRUE(StartTest());
    EXPECT_EQ(m_messages.Messages().size(), 2u);
}

TEST_F(LiveLinesTest, ARunsLineErrorsAreCountedFromItsRunAsTheCardCountsThem) {
    Choose({3});
    m_records.m_PortRegistry[3].nBaud = 10;  // a receiver on a busy machine keeps up
    ASSERT_TRUE(StartTest());
    m_card.SetFramingErrorRate(3, 0.01);
    m_runtime.OnRunPort(3);
    ASSERT_TRUE(m_gui.RunUntil([&] { return m_runtime.Lines(3).SinceRun().counts.framing >= 5; }));
    m_runtime.OnStopPort(3);
    ASSERT_TRUE(SettleLine(3));
    m_card.SetFramingErrorRate(3, 0.0);
    ASSERT_TRUE(StopTest());
    const PortLineFigures figures = m_runtime.Lines(3).SinceRun();
    EXPECT_TRUE(figures.available);
    EXPECT_EQ(figures.counts.framing, m_card.FaultCountsOf(3).framing);
    EXPECT_EQ(figures.counts.Errors(), figures.counts.framing);
    EXPECT_GT(m_console.Snapshot(3).receiveActivity, 0);
    EXPECT_EQ(m_card.FaultCountsOf(3).overrun, 0u);
}

TEST_F(LiveLinesTest, AReceiverHeldForTwoSecondsWithRtsCtsLosesNoByte) {
    RunWithAHeldReceiver(true);
    // More than the receiving queue holds went by while the receiver was
    // held (CTS dropped and rose below), and none of it was lost.
    const std::uint64_t sent = m_card.BytesSentBy(0);
    EXPECT_GT(sent, 4096u);
    EXPECT_EQ(m_runtime.BytesReceived(0), sent);
    EXPECT_EQ(m_card.FaultCountsOf(0).overrun, 0u);
    const LineCounts counted = m_runtime.Lines(0).SinceRun().counts;
    EXPECT_EQ(counted.Errors(), 0u);
    EXPECT_GE(counted.ctsChanges, 2u);  // held back, and let go again
    EXPECT_EQ(m_runtime.Check(0).Counts().Errors(), 0u);
    EXPECT_TRUE(m_messages.Messages().empty()) << m_messages.Shown();
}

TEST_F(LiveLinesTest, WithoutFlowControlTheSameHoldOverrunsAndTheLossIsCountedExactly) {
    RunWithAHeldReceiver(false);
    const std::uint64_t lost = m_card.FaultCountsOf(0).overrun;
    EXPECT_GT(lost, 0u);
    EXPECT_EQ(m_runtime.BytesReceived(0) + lost, m_card.BytesSentBy(0));
    const LineCounts counted = m_runtime.Lines(0).SinceRun().counts;
    EXPECT_EQ(counted.bufferOverrun, lost);
    EXPECT_EQ(counted.ctsChanges, 0u);
    EXPECT_TRUE(m_messages.Messages().empty()) << m_messages.Shown();
}

}  // namespace
}  // namespace quorvel
