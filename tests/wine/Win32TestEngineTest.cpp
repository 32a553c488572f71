// A test's life on real COM ports through the Win32 backend: Test > Start
// opens the chosen ports, Run sends packets that the loopback plugs send back
// to the receive threads, Test > Stop ends the threads and close-all closes
// the ports. The ports are the plugged ones of PluggedComPorts.h; the test's
// own thread plays the GUI thread.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "fakes/EngineHarness.h"
#include "wine/PluggedComPorts.h"

namespace quorvel {
namespace {

using testing::EngineHarness;
using testing::kMissingCom;
using testing::OpenMessages;
using testing::PluggedCom;
using testing::RecordedMessage;
using testing::RecordingConsole;
using testing::UnderWine;

RecordedMessage OpenError(const std::string& text, const std::string& detail = {}) {
    return {text, "ERROR", 0x30, MessageOwner::MainWindow, detail};
}

// Whether `received` is whole copies of `packet` back to back, with at most
// the start of one more at its end (a packet still arriving at Stop).
bool WholePacketsOf(const std::string& received, std::string_view packet) {
    for (std::size_t i = 0; i < received.size(); i += packet.size()) {
        if (received.compare(i, packet.size(), packet, 0, received.size() - i) != 0) {
            return false;
        }
    }
    return true;
}

class Win32TestEngineTest : public ::testing::Test, protected EngineHarness {
  protected:
    void SetUp() override {
        m_com = PluggedCom();
        if (m_com <= 0) {
            GTEST_SKIP() << "no COM ports with loopback plugs given (QUORVEL_WINE_COM)";
        }
        PutCardAt(m_com);
    }

    // The card's ports are consecutive COM numbers: port 0 on `firstCom`.
    // No flow control: the plugs answer at once.
    void PutCardAt(int firstCom) {
        for (std::size_t i = 0; i < kPortCount; ++i) {
            PortRegistry& record = m_records.m_PortRegistry[i];
            record.nComBase = firstCom - 1 + static_cast<std::int32_t>(i);
            record.nFlowCtrl = 2;
        }
    }

    bool WaitReceived(int port, std::size_t bytes) {
        return m_gui.RunUntil([&] { return m_console.Snapshot(port).received.size() >= bytes; });
    }

    int m_com = 0;
};

TEST_F(Win32TestEngineTest, StartOpensTheChosenPortsAndTheLastThreadToEndClosesThem) {
    Choose({0, 7});  // the card's first and last COM port
    ASSERT_TRUE(StartTest());
    EXPECT_EQ(m_runtime.OpenPortCount(), 2);
    EXPECT_TRUE(CommandsOfATest());
    EXPECT_EQ(m_gui.placements, 1);
    for (int port = 0; port < kPortCount; ++port) {
        const bool chosen = port == 0 || port == 7;
        EXPECT_EQ(static_cast<bool>(m_runtime.Handle(port)), chosen) << port;
        EXPECT_EQ(m_runtime.IsPortOpen(port), chosen) << port;
        EXPECT_EQ(m_runtime.ReadThreadStarted(port), chosen) << port;
    }
    EXPECT_TRUE(m_runtime.WriteThreadStarted());
    EXPECT_EQ(m_messages.Messages(), OpenMessages(2));

    m_runtime.OnTestStop();
    EXPECT_TRUE(m_runtime.StopEnabled());  // the flags wait for close-all
    ASSERT_TRUE(m_gui.RunUntil([&] { return m_closeAlls == 1; }));
    EXPECT_EQ(m_exitsAtCloseAll, 3);  // two receive threads and the write thread
    EXPECT_EQ(m_runtime.ThreadExitsCounted(), 0);
    EXPECT_TRUE(CommandsOfIdle());
    EXPECT_FALSE(m_runtime.WriteThreadStarted());
    for (int port = 0; port < kPortCount; ++port) {
        EXPECT_FALSE(m_runtime.Handle(port)) << port;
        EXPECT_FALSE(m_runtime.IsPortOpen(port)) << port;
        EXPECT_FALSE(m_runtime.ReadThreadStarted(port)) << port;
        const auto panel = m_console.Snapshot(port);
        EXPECT_FALSE(panel.run || panel.stop || panel.transfer) << port;
    }

    // The ports were let go: the next test opens them again.
    ASSERT_TRUE(StartTest());
    EXPECT_EQ(m_runtime.OpenPortCount(), 2);
    ASSERT_TRUE(StopTest());
    EXPECT_EQ(m_closeAlls, 2);
    EXPECT_EQ(m_messages.Messages(), OpenMessages(4));
}

TEST_F(Win32TestEngineTest, RunningPortsCountTheirPacketsAndReceiveWhatTheirPlugsSendBack) {
    struct Run {
        int port;
        std::string_view packet;
        RecordingConsole::Port running;  // the panel while the port ran
    };
    Run runs[] = {{1, kAlphabets, {}}, {4, kQuickBrown, {}}};
    Choose({1, 4});
    SetPattern(1, 1, 0, 0);
    SetPattern(4, 0, 1, 0);
    ASSERT_TRUE(StartTest());
    for (const Run& run : runs) {
        m_runtime.OnRunPort(run.port);
    }
    for (const Run& run : runs) {
        ASSERT_TRUE(WaitSent(run.port, 5)) << run.port;
        ASSERT_TRUE(WaitReceived(run.port, 3 * run.packet.size())) << run.port;
    }
    // Stop starts a count again, and a packet in flight may then show a 1:
    // the counts are taken as they stood while the ports ran.
    for (Run& run : runs) {
        run.running = m_console.Snapshot(run.port);
    }
    ASSERT_TRUE(StopTest());
    EXPECT_EQ(m_exitsAtCloseAll, 3);

    for (const Run& run : runs) {
        const std::vector<std::string>& counts = run.running.packetCounts;
        ASSERT_GE(counts.size(), 6u) << run.port;
        for (std::size_t i = 0; i < counts.size(); ++i) {
            EXPECT_EQ(counts[i], std::to_string(i)) << run.port;  // from 0, one up a packet
        }
        EXPECT_EQ(run.running.errorCount, "0") << run.port;
        const RecordingConsole::Port ended = m_console.Snapshot(run.port);
        for (const std::string& sent : ended.transmitted) {
            EXPECT_EQ(sent, run.packet) << run.port;
        }
        EXPECT_TRUE(WholePacketsOf(ended.received, run.packet))
            << run.port << " received: " << ended.received;
    }
    EXPECT_EQ(m_messages.Messages(), OpenMessages(2));  // no transfer failed
}

TEST_F(Win32TestEngineTest, AStalledPortHoldsNeitherTheOtherPortNorStop) {
    // The card takes nothing more from Port8 (the harness starts it so): its
    // queue fills and its overlapped write stays pending.
    Choose({0, 7});
    ASSERT_TRUE(StartTest());
    m_runtime.OnRunPort(0);
    m_runtime.OnRunPort(7);
    // Long enough for Port8 to fill its queue at one packet a cycle.
    ASSERT_TRUE(m_gui.RunUntil([&] { return m_runtime.PacketCount(0) >= 1500; }));
    const std::int32_t stalled = m_runtime.PacketCount(7);
    const std::int32_t other = m_runtime.PacketCount(0);
    ASSERT_TRUE(m_gui.RunUntil([&] { return m_runtime.PacketCount(0) >= other + 500; }));
    EXPECT_EQ(m_runtime.PacketCount(7), stalled);  // passed over, not waited for
    // Test > Stop cancels the pending write long before it could time out.
    ASSERT_TRUE(StopTest());
    EXPECT_EQ(m_messages.Messages(), OpenMessages(2));
}

TEST_F(Win32TestEngineTest, WithoutAPortThatOpensNothingStarts) {
    PutCardAt(kMissingCom);
    Choose({0, 1});
    m_runtime.OnTestStart();
    const std::string first = std::to_string(kMissingCom);
    const std::string second = std::to_string(kMissingCom + 1);
    // Each port's message carries why it did not open and what to check.
    EXPECT_EQ(m_messages.Messages(),
              (std::vector<RecordedMessage>{
                  OpenError("Unable to open the communication port COM" + first,
                            m_runtime.OpenFailure(0).Detail()),
                  OpenError("Unable to open the communication port COM" + second,
                            m_runtime.OpenFailure(1).Detail()),
                  OpenError("Unable to open any communication port")}));
    EXPECT_EQ(m_runtime.OpenFailure(0).systemCode, 2);  // ERROR_FILE_NOT_FOUND
    EXPECT_EQ(m_runtime.OpenFailure(0).Detail().rfind("\\\\.\\COM" + first + ": ", 0), 0u);
    EXPECT_NE(m_runtime.OpenFailure(0).hint.find("Check that the card is installed"),
              std::string::npos);
    EXPECT_TRUE(NothingStarted());
}

TEST_F(Win32TestEngineTest, APortHeldElsewhereIsReportedAndTheOthersStillRun) {
    if (UnderWine()) {
        GTEST_SKIP() << "Wine opens a COM port more than once";
    }
    CComPort elsewhere;
    const PortHandle held = OpenPort(elsewhere, m_com + 1, m_records.m_PortRegistry[1]).handle;
    ASSERT_TRUE(held);
    m_messages.Clear();

    Choose({0, 1});
    SetPattern(0, 1, 0, 0);
    m_runtime.OnTestStart();
    std::vector<RecordedMessage> expected = OpenMessages(1);
    expected.push_back(
        OpenError("Unable to open the communication port COM" + std::to_string(m_com + 1),
                  m_runtime.OpenFailure(1).Detail()));
    EXPECT_NE(m_runtime.OpenFailure(1).hint.find("has the port open"), std::string::npos);
    EXPECT_EQ(m_messages.Messages(), expected);
    EXPECT_EQ(m_runtime.OpenPortCount(), 1);
    EXPECT_TRUE(m_runtime.Handle(0));
    EXPECT_FALSE(m_runtime.Handle(1));
    EXPECT_TRUE(m_runtime.StopEnabled());
    m_runtime.OnRunPort(0);
    ASSERT_TRUE(WaitReceived(0, kAlphabets.size()));
    ASSERT_TRUE(StopTest());
    EXPECT_EQ(m_exitsAtCloseAll, 2);
    EXPECT_TRUE(held->Close().Ok());
}

}  // namespace
}  // namespace quorvel
