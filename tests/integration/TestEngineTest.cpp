// The test engine on the simulated card, with a recording console and message
// sink; the test's own thread plays the GUI thread.
#include <gtest/gtest.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <numeric>
#include <thread>

#include "card/SimulatedCard.h"
#include "fakes/EngineOnCard.h"

namespace quorvel {
namespace {

using testing::EngineHarness;
using testing::RecordedMessage;
using testing::RecordingConsole;

RecordedMessage Error(const std::string& text, const char* caption = "Error") {
    return {text, caption, 0x30, MessageOwner::MainWindow};
}

// Printable bytes, never NUL, with a period of 89: no multiple of a 450-byte
// piece looks like another, so a file sent from the wrong offset shows.
std::vector<std::uint8_t> Bytes(std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>('!' + i % 89);
    }
    return bytes;
}

using TestEngineTest = testing::EngineOnCard;

TEST_F(TestEngineTest, StartOpensTheChosenPortsAndCloseAllEndsTheTest) {
    Choose({0, 2, 5});
    ASSERT_TRUE(StartTest());
    EXPECT_EQ(m_runtime.OpenPortCount(), 3);
    EXPECT_TRUE(CommandsOfATest());
    EXPECT_EQ(m_gui.placements, 1);
    for (int port = 0; port < 8; ++port) {
        const auto panel = m_console.Snapshot(port);
        EXPECT_TRUE(panel.run && panel.transfer && !panel.stop) << port;
    }
    EXPECT_FALSE(m_runtime.Handle(1));
    EXPECT_FALSE(m_runtime.ReadThreadStarted(1));

    // Close-all on the fourth exit notification (three receive threads and the
    // write thread), and not before.
    std::vector<bool> idleAfterEach;
    m_gui.onThreadExit = [&] {
        m_runtime.OnThreadExit();
        idleAfterEach.push_back(m_runtime.StartEnabled());
    };
    m_runtime.OnTestStop();
    EXPECT_TRUE(m_runtime.StopEnabled());  // Stop leaves the flags as they are
    ASSERT_TRUE(m_gui.RunUntil([&] { return idleAfterEach.size() == 4; }));
    EXPECT_EQ(idleAfterEach, (std::vector<bool>{false, false, false, true}));
    EXPECT_FALSE(m_runtime.StopEnabled());
    EXPECT_TRUE(m_runtime.SetupEnabled());
    for (int port = 0; port < 8; ++port) {
        EXPECT_FALSE(m_runtime.Handle(port));
        EXPECT_FALSE(m_runtime.IsPortOpen(port));
        const auto panel = m_console.Snapshot(port);
        EXPECT_FALSE(panel.run || panel.stop || panel.transfer) << port;
    }
    EXPECT_TRUE(m_messages.Messages().empty()) << m_messages.Shown();

    // A second start reuses the console and places it again.
    ASSERT_TRUE(StartTest());
    EXPECT_EQ(m_gui.placements, 2);
    EXPECT_TRUE(m_console.Snapshot(0).run);
    ASSERT_TRUE(StopTest());
}

TEST_F(TestEngineTest, NothingOfAStoppedTestReachesTheNext) {
    // At 9600 bit/s with no write delay the write thread keeps the port's
    // transmit queue full: seconds of output are still queued at Test > Stop.
    Choose({0});
    m_records.m_PortRegistry[0].nBaud = 6;
    ASSERT_TRUE(StartTest());
    m_runtime.OnRunPort(0);
    ASSERT_TRUE(WaitSent(0, 100));
    ASSERT_TRUE(StopTest());
    const std::string received = m_console.Snapshot(0).received;
    ASSERT_TRUE(StartTest());  // and no Run
    EXPECT_FALSE(m_gui.RunUntil([&] { return m_console.Snapshot(0).received != received; },
                                std::chrono::milliseconds(300)))
        << m_console.Snapshot(0).received.size() - received.size() << " bytes came in";
    ASSERT_TRUE(StopTest());
}

TEST_F(TestEngineTest, WithoutAnOpenPortNothingStarts) {
    Choose({1});
    m_card.Unplug(1);
    m_runtime.OnTestStart();
    // The port's message carries why it did not open: its device has gone.
    RecordedMessage missing = Error("Unable to open the communication port COM5", "ERROR");
    missing.detail = m_runtime.OpenFailure(1).Detail();
    EXPECT_EQ(m_messages.Messages(),
              (std::vector<RecordedMessage>{
                  missing, Error("Unable to open any communication port", "ERROR")}));
    EXPECT_EQ(m_runtime.OpenFailure(1).Describe(), "COM5: no device answers for this COM number");
    EXPECT_TRUE(NothingStarted());
}

TEST_F(TestEngineTest, AConsoleThatCannotBeCreatedLeavesTheProgramIdle) {
    Choose({0});
    m_gui.createFails = true;
    m_runtime.OnTestStart();
    EXPECT_EQ(m_messages.Messages(), std::vector<RecordedMessage>{Error(
                                         "Unable to create the Serial Communication Test Dialog")});
    EXPECT_TRUE(m_runtime.StartEnabled());
    EXPECT_TRUE(m_runtime.SetupEnabled());
    EXPECT_FALSE(m_runtime.Handle(0));
    EXPECT_FALSE(m_runtime.WriteThreadStarted());
    // The port was closed: it opens again.
    m_gui.createFails = false;
    ASSERT_TRUE(StartTest());
    EXPECT_TRUE(m_runtime.Handle(0));
    ASSERT_TRUE(StopTest());
}

TEST_F(TestEngineTest, PacketsFollowThePatternChosen) {
    Choose({0, 1, 2, 3});
    SetPattern(0, 1, 0, 0);
    SetPattern(1, 0, 1, 0);
    SetPattern(2, 1, 1, 0);  // Alphabets wins
    SetPattern(3, 0, 0, 1, "");
    ASSERT_TRUE(StartTest());
    for (int port = 0; port < 4; ++port) {
        m_runtime.OnRunPort(port);
    }
    for (int port = 0; port < 4; ++port) {
        ASSERT_TRUE(WaitSent(port, 5)) << port;
    }
    ASSERT_TRUE(m_gui.RunUntil([&] { return m_console.Snapshot(0).received.size() >= 3 * 39; }));
    ASSERT_TRUE(StopTest());
    const std::string alphabets(kAlphabets);
    for (const std::string& packet : m_console.Snapshot(0).transmitted) {
        EXPECT_EQ(packet, alphabets);
    }
    for (const std::string& packet : m_console.Snapshot(1).transmitted) {
        EXPECT_EQ(packet, std::string(kQuickBrown));
    }
    EXPECT_EQ(m_console.Snapshot(2).transmitted.front(), alphabets);
    const auto empty = m_console.Snapshot(3);
    EXPECT_GE(empty.packetCounts.size(), 5u);
    for (const std::string& packet : empty.transmitted) {
        EXPECT_EQ(packet, "");
    }
    // What a plug sent back is what was sent: whole packets, back to back.
    const std::string received = m_console.Snapshot(0).received;
    ASSERT_GE(received.size(), alphabets.size());
    for (std::size_t i = 0; i + alphabets.size() <= received.size(); i += alphabets.size()) {
        EXPECT_EQ(received.substr(i, alphabets.size()), alphabets);
    }
}

TEST_F(TestEngineTest, AUserPatternIsCutToAWholePacketOfWholeCharacters) {
    Choose({0});
    std::string text = "a";
    for (int i = 0; i < 300; ++i) {
        text += "\xC3\xA9";  // é
    }
    SetPattern(0, 0, 0, 1, text);
    ASSERT_TRUE(StartTest());
    m_runtime.OnRunPort(0);
    ASSERT_TRUE(WaitSent(0, 2));
    ASSERT_TRUE(StopTest());
    EXPECT_EQ(m_console.Snapshot(0).transmitted.front(), text.substr(0, 449));
    EXPECT_EQ(m_runtime.LastPacket(0).nLength, 449);
    EXPECT_EQ(m_runtime.LastPacket(0).data[449], 0);
}

TEST_F(TestEngineTest, AFileGoesInPiecesOf450AndStartsAgainFromItsFirstByte) {
    Choose({0, 1});
    SetPattern(0, 0, 0, 0);
    SetPattern(1, 0, 0, 0);
    const std::vector<std::uint8_t> file1000 = Bytes(1000);
    const std::vector<std::uint8_t> file900 = Bytes(900);
    m_runtime.SetFileData(0, file1000);
    m_runtime.SetFileData(1, file900);
    ASSERT_TRUE(StartTest());
    const std::uint64_t delaysBefore = m_runtime.WriteDelaysWaited();
    m_runtime.OnRunPort(0);
    m_runtime.OnRunPort(1);
    ASSERT_TRUE(WaitSent(0, 7));
    ASSERT_TRUE(WaitSent(1, 7));
    ASSERT_TRUE(StopTest());

    const std::string text(file1000.begin(), file1000.end());
    const auto port0 = m_console.Snapshot(0).transmitted;
    const std::vector<std::string> pass{text.substr(0, 450), text.substr(450, 450),
                                        text.substr(900, 100)};
    for (std::size_t i = 0; i < port0.size(); ++i) {
        EXPECT_EQ(port0[i], pass[i % 3]) << "piece " << i;
    }
    // A multiple of 450 ends its pass with an empty piece.
    const std::string text900(file900.begin(), file900.end());
    const auto port1 = m_console.Snapshot(1).transmitted;
    const std::vector<std::string> pass900{text900.substr(0, 450), text900.substr(450), ""};
    for (std::size_t i = 0; i < port1.size(); ++i) {
        EXPECT_EQ(port1[i], pass900[i % 3]) << "piece " << i;
    }
    // One write delay a pass, after its first piece has been written; Test >
    // Stop may cut the last write of each port short, and its delay with it.
    const auto firstPieces = [](std::size_t pieces) { return (pieces + 2) / 3; };
    const std::uint64_t passes = firstPieces(port0.size()) + firstPieces(port1.size());
    EXPECT_LE(m_runtime.WriteDelaysWaited() - delaysBefore, passes);
    EXPECT_GE(m_runtime.WriteDelaysWaited() - delaysBefore, passes - 2);
    // The TXD indicator is lit around each continuation piece only.
    const auto txd = m_console.Snapshot(0).txd;
    ASSERT_FALSE(txd.empty());
    for (std::size_t i = 0; i < txd.size(); ++i) {
        EXPECT_EQ(txd[i], i % 2 == 0);
    }
}

TEST_F(TestEngineTest, StopInTheMiddleOfAFileStartsItAgainFromByteZero) {
    Choose({0});
    SetPattern(0, 0, 0, 0);
    const std::vector<std::uint8_t> file = Bytes(60000);
    m_runtime.SetFileData(0, file);
    ASSERT_TRUE(StartTest());
    m_runtime.OnRunPort(0);
    ASSERT_TRUE(WaitSent(0, 4));
    m_runtime.OnStopPort(0);
    EXPECT_FALSE(m_runtime.FilePassUnderWay(0));
    const auto stopped = m_console.Snapshot(0);
    EXPECT_TRUE(stopped.run && !stopped.stop);
    m_runtime.OnRunPort(0);
    ASSERT_TRUE(WaitSent(0, 2));
    ASSERT_TRUE(StopTest());
    const auto rerun = m_console.Snapshot(0);
    EXPECT_EQ(rerun.transmitted.front(), std::string(file.begin(), file.begin() + 450));
    EXPECT_EQ(rerun.transmitted[1], std::string(file.begin() + 450, file.begin() + 900));
}

TEST_F(TestEngineTest, AfterItsStopAPortBuildsCountsAndSendsNothingMore) {
    // Port2 keeps the write thread cycling while Port1 runs. The write thread
    // is held while it reads Port1's Enable box, after it has taken Port1's
    // turn, and Port1's Stop comes while it is held there: once with a packet
    // that starts the pattern, once with the continuation of a file.
    Choose({0, 1});
    m_runtime.SetFileData(0, Bytes(1000));
    std::mutex mutex;
    std::condition_variable changed;
    std::thread::id writer;  // guarded by mutex, like the three below
    bool holdContinuation = false;
    bool hold = false;
    bool held = false;
    m_console.onEnableRead = [&](int port) {
        std::unique_lock lock(mutex);
        if (port == 0 && hold && std::this_thread::get_id() == writer &&
            m_runtime.FilePassUnderWay(0) == holdContinuation) {
            held = true;
            changed.notify_all();
            changed.wait(lock, [&] { return !hold; });
        }
    };
    auto release = [&] {
        {
            std::lock_guard lock(mutex);
            hold = false;
        }
        changed.notify_all();
    };
    // However the test ends, the held thread goes on and the test stops
    // before what the hook uses is gone.
    struct AtEnd {
        std::function<void()> run;
        ~AtEnd() { run(); }
    } atEnd{[&] {
        release();
        if (m_runtime.TestRunning()) {
            StopTest();
        }
    }};
    ASSERT_TRUE(StartTest());
    {
        std::lock_guard lock(mutex);
        writer = m_runtime.WriteThreadId();
    }
    m_runtime.OnRunPort(1);
    std::uint64_t onTheLine = 0;  // what Port1 was shown to send before its Stops
    for (const bool file : {false, true}) {
        SCOPED_TRACE(file ? "a file piece" : "a whole packet");
        SetPattern(0, file ? 0 : 1, 0, 0);
        m_runtime.OnRunPort(0);
        ASSERT_TRUE(WaitSent(0, 4));
        {
            std::unique_lock lock(mutex);
            holdContinuation = file;
            hold = true;
            held = false;
            ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(10), [&] { return held; }));
        }
        m_runtime.OnStopPort(0);
        const auto stopped = m_console.Snapshot(0);
        release();
        // Port2's next packets come after the held turn of Port1 has ended.
        ASSERT_TRUE(WaitSent(1, m_console.Snapshot(1).transmitted.size() + 3));
        EXPECT_EQ(m_runtime.PacketCount(0), 0);
        EXPECT_FALSE(m_runtime.FilePassUnderWay(0));
        const auto after = m_console.Snapshot(0);
        EXPECT_EQ(after.transmitted.size(), stopped.transmitted.size());
        EXPECT_EQ(after.packetCounts, stopped.packetCounts);  // the last count stays on screen
        for (const std::string& packet : stopped.transmitted) {
            onTheLine += packet.size();
        }
    }
    ASSERT_TRUE(StopTest());
    // Nothing beyond the packets shown before the Stops reached the line
    // (Test > Stop may have cut the last write short).
    EXPECT_LE(m_card.BytesSentBy(0), onTheLine);
}

TEST_F(TestEngineTest, TheFirstPacketOfTheOnlyRunningPortWakesTheWriteThread) {
    Choose({0, 2, 4});
    ASSERT_TRUE(StartTest());
    m_runtime.OnRunPort(2);
    auto panel = m_console.Snapshot(2);
    EXPECT_EQ(panel.errorCount, "0");
    ASSERT_GE(panel.packetCounts.size(), 2u);
    EXPECT_EQ(panel.packetCounts[0], "0");
    EXPECT_EQ(panel.packetCounts[1], "1");
    EXPECT_TRUE(!panel.run && panel.stop && !panel.transfer);
    ASSERT_TRUE(WaitSent(2, 5));  // the write thread took over
    const auto counts = m_console.Snapshot(2).packetCounts;
    for (std::size_t i = 0; i < counts.size(); ++i) {
        EXPECT_EQ(counts[i], std::to_string(i));  // from 0, one up a packet
    }

    // A second port's first packet does not set the event: the thread already cycles.
    m_runtime.OnRunPort(4);
    EXPECT_EQ(m_runtime.WriteWakeUps(), 1u);
    ASSERT_TRUE(WaitSent(4, 5));
    EXPECT_EQ(m_runtime.RunningPortCount(), 2);

    // Stopping one leaves the other running; the counter text stays.
    m_runtime.OnStopPort(2);
    const std::size_t shown = m_console.Snapshot(2).packetCounts.size();
    const std::size_t port4Sent = m_console.Snapshot(4).transmitted.size();
    ASSERT_TRUE(WaitSent(4, port4Sent + 5));
    EXPECT_LE(m_console.Snapshot(2).packetCounts.size(), shown + 1);  // at most one in flight
    m_runtime.OnStopPort(4);
    EXPECT_EQ(m_runtime.RunningPortCount(), 0);
    ASSERT_TRUE(StopTest());
}

TEST_F(TestEngineTest, TheWriteThreadServesThePortsInTurnOneToEight) {
    Choose({0, 1, 2, 3, 4, 5, 6, 7});
    // A little delay keeps every write short of a full queue, so no port is
    // passed over for a write still under way.
    m_runtime.SetWriteDelay("1");
    ASSERT_TRUE(StartTest());
    for (int port = 7; port >= 0; --port) {
        m_runtime.OnRunPort(port);
    }
    ASSERT_TRUE(WaitSent(7, 20));
    // Taken while every port still runs: Test > Stop ends them one by one.
    const std::vector<int> order = m_console.SendOrder(m_runtime.WriteThreadId());
    ASSERT_TRUE(StopTest());
    ASSERT_GE(order.size(), 40u);
    // Once every port runs, each cycle visits 0 ... 7 in that order.
    const std::size_t from = order.size() - 32;
    std::size_t start = from;
    while (order[start] != 0) {
        ++start;
    }
    for (std::size_t i = start; i + 1 < order.size(); ++i) {
        EXPECT_EQ(order[i + 1], (order[i] + 1) % 8) << "at " << i;
    }
}

TEST_F(TestEngineTest, AStalledPortHoldsNeitherTheOtherPortsNorRunNorStop) {
    // Port1's output is no longer taken, as with flow control held off: its
    // queue fills and its write stays under way.
    m_card.Stall(0, true);
    Choose({0, 1, 2, 3, 4, 5, 6, 7});
    m_runtime.OnTestStart();
    for (int port = 0; port < kPortCount; ++port) {
        m_runtime.OnRunPort(port);
    }
    // Long enough for Port1 to fill its queue at one packet a cycle.
    ASSERT_TRUE(m_gui.RunUntil([&] { return m_runtime.PacketCount(7) >= 1500; }));
    std::array<std::int32_t, kPortCount> before{};
    for (int port = 0; port < kPortCount; ++port) {
        before[static_cast<std::size_t>(port)] = m_runtime.PacketCount(port);
    }
    // The others keep sending all the while (each at the pace the card takes
    // its bytes, which a busy machine makes uneven) ...
    ASSERT_TRUE(m_gui.RunUntil([&] {
        for (int port = 1; port < kPortCount; ++port) {
            if (m_runtime.PacketCount(port) < before[static_cast<std::size_t>(port)] + 250) {
                return false;
            }
        }
        return true;
    }));
    EXPECT_EQ(m_runtime.PacketCount(0),
              before[0]);  // ... while Port1 is passed over, not waited for

    // Run on the stalled port hands its first packet over and returns: the
    // GUI thread does not wait out the write still under way.
    m_runtime.OnStopPort(0);
    m_runtime.OnRunPort(0);
    EXPECT_EQ(m_runtime.PacketCount(0), 1);
    // Test > Stop cancels the write under way long before it could time out.
    ASSERT_TRUE(StopTest());
    EXPECT_TRUE(m_messages.Messages().empty()) << m_messages.Shown();
}

TEST_F(TestEngineTest, ReceivedChunksAreShownBackToBackWhileEnableIsTicked) {
    Choose({0});
    ASSERT_TRUE(StartTest());
    CTestEngine& engine = m_runtime.ConsoleEngine();
    auto deliver = [&](const std::string& chunk) {
        engine.ShowRxData(
            0, std::span(reinterpret_cast<const std::uint8_t*>(chunk.data()), chunk.size()));
    };
    deliver("ab");
    deliver("cd");
    EXPECT_EQ(m_console.Snapshot(0).received, "abcd");
    deliver(std::string("x\0y", 3));  // shown up to the zero byte, kept whole
    EXPECT_EQ(m_console.Snapshot(0).received, "abcdx");
    const std::span<const char> latest = m_runtime.Receiver(0).Latest();
    EXPECT_EQ(std::string(latest.data(), latest.size()), std::string("x\0y", 3));
    m_console.Change(0, [](RecordingConsole::Port& p) { p.enable = false; });
    deliver("hidden");
    EXPECT_EQ(m_console.Snapshot(0).received, "abcdx");
    m_console.Change(0, [](RecordingConsole::Port& p) { p.enable = true; });
    deliver("shown");
    EXPECT_EQ(m_console.Snapshot(0).received, "abcdxshown");
    ASSERT_TRUE(StopTest());
}

TEST_F(TestEngineTest, InternalLoopbackGoesToThePortsOwnHandle) {
    Choose({0, 3});
    m_card.AttachCable(0, 3);
    ASSERT_TRUE(StartTest());
    m_runtime.OnLoopTest(3, true);
    EXPECT_TRUE(m_card.InternalLoopbackOf(3));
    EXPECT_EQ(m_records.m_PortTest[3].nLoopTest, 1);
    m_runtime.OnRunPort(3);
    ASSERT_TRUE(m_gui.RunUntil([&] { return m_console.Snapshot(3).received.size() >= 39; }));
    EXPECT_EQ(m_console.Snapshot(0).received, "");  // kept off the cable
    m_runtime.OnLoopTest(3, false);
    EXPECT_FALSE(m_card.InternalLoopbackOf(3));
    EXPECT_EQ(m_records.m_PortTest[3].nLoopTest, 0);

    m_runtime.OnLoopTest(5, true);  // not open in this test
    EXPECT_EQ(m_records.m_PortTest[5].nLoopTest, 1);
    EXPECT_EQ(m_messages.Messages(),
              std::vector<RecordedMessage>{Error("Unable to set/reset Local LoopBack on port 5")});
    ASSERT_TRUE(StopTest());
}

TEST_F(TestEngineTest, APortUnpluggedMidTestIsReportedOnceAndTheTestStillEnds) {
    Choose({0, 1});
    ASSERT_TRUE(StartTest());
    m_runtime.OnRunPort(0);
    m_runtime.OnRunPort(1);
    ASSERT_TRUE(WaitSent(0, 3));
    m_card.Unplug(0);
    ASSERT_TRUE(m_gui.RunUntil([&] { return m_messages.Messages().size() >= 2; }));
    const std::size_t sent = m_console.Snapshot(0).transmitted.size();
    ASSERT_TRUE(WaitSent(0, sent + 20));  // the port keeps its turn; the operator is told once
    ASSERT_TRUE(StopTest());
    auto messages = m_messages.Messages();
    // A receive thread woken by an echo just before the unplug reads from the
    // gone device first, and says so once.
    EXPECT_LE(std::erase(messages, RecordedMessage{"Unable to Read to the comm port", "Read Error",
                                                   0, MessageOwner::MainWindow}),
              1u);
    std::sort(messages.begin(), messages.end(),
              [](const auto& a, const auto& b) { return a.text < b.text; });
    EXPECT_EQ(messages, (std::vector<RecordedMessage>{{"Unable to Write to the comm port",
                                                       "Write Error", 0, MessageOwner::MainWindow},
                                                      Error("WaitForSingleObject Failed")}));
    EXPECT_EQ(m_closeAlls, 1);
}

TEST_F(TestEngineTest, ATimedRunStopsByItselfWhenItsTimeIsUp) {
    Choose({0, 1});
    m_console.Change(0, [](RecordingConsole::Port& p) {
        p.stopOnTime = true;
        p.hours = "1";
        p.minutes = "30";
    });
    m_console.Change(1, [](RecordingConsole::Port& p) { p.stopOnTime = true; });  // 0:00
    ASSERT_TRUE(StartTest());
    m_runtime.OnRunPort(0);
    m_runtime.OnRunPort(1);
    ASSERT_TRUE(WaitSent(0, 3));
    m_clock.Advance(90 * 60 * 1000 - 1);
    const std::size_t before = m_console.Snapshot(0).transmitted.size();
    ASSERT_TRUE(WaitSent(0, before + 3));  // not yet
    EXPECT_TRUE(m_runtime.IsPortRunning(0));
    m_clock.Advance(1);
    ASSERT_TRUE(m_gui.RunUntil([&] { return !m_runtime.IsPortRunning(0); }));
    const auto panel = m_console.Snapshot(0);
    EXPECT_TRUE(panel.run && !panel.stop && panel.transfer);  // as if Stop was pressed
    EXPECT_EQ(m_runtime.RunningPortCount(), 1);
    EXPECT_TRUE(m_runtime.IsPortRunning(1));  // 0:00 runs on
    ASSERT_TRUE(StopTest());
}

TEST_F(TestEngineTest, ARunGivenACountOfBytesSendsExactlyThoseAndEndsByItself) {
    // Port1: 100 bytes of 39-byte alphabet lines; Port2: 500 bytes of a
    // 1000-byte file, its second 450-byte piece cut to 50.
    Choose({0, 1});
    SetPattern(1, 0, 0, 0);
    m_runtime.SetFileData(1, Bytes(1000));
    m_runtime.LimitRunsTo(0, 100);
    m_runtime.LimitRunsTo(1, 500);
    ASSERT_TRUE(StartTest());
    m_runtime.OnRunPort(0);
    m_runtime.OnRunPort(1);
    ASSERT_TRUE(m_gui.RunUntil([&] {
        return !m_runtime.IsPortRunning(0) && !m_runtime.IsPortRunning(1) &&
               m_console.Snapshot(0).received.size() >= 100 &&
               m_console.Snapshot(1).received.size() >= 500;
    }));
    EXPECT_EQ(m_runtime.BytesSentThisRun(0), 100u);
    EXPECT_EQ(m_runtime.BytesSentThisRun(1), 500u);
    EXPECT_EQ(m_runtime.RunningPortCount(), 0);
    const std::string alphabets(kAlphabets);
    EXPECT_EQ(m_console.Snapshot(0).transmitted,
              (std::vector<std::string>{alphabets, alphabets, alphabets.substr(0, 22)}));
    const std::vector<std::uint8_t> file = Bytes(1000);
    EXPECT_EQ(m_console.Snapshot(1).transmitted,
              (std::vector<std::string>{std::string(file.begin(), file.begin() + 450),
                                        std::string(file.begin() + 450, file.begin() + 500)}));
    // Nothing more goes out, and the next run sends its count again.
    EXPECT_FALSE(m_gui.RunUntil([&] { return m_console.Snapshot(0).received.size() > 100; },
                                std::chrono::milliseconds(200)));
    m_runtime.OnRunPort(0);
    ASSERT_TRUE(m_gui.RunUntil([&] { return !m_runtime.IsPortRunning(0); }));
    EXPECT_EQ(m_runtime.BytesSentThisRun(0), 100u);
    ASSERT_TRUE(StopTest());
}

TEST_F(TestEngineTest, TheStopOnOptionsEnableTheHourAndMinuteBoxes) {
    Choose({0});
    ASSERT_TRUE(StartTest());
    m_runtime.EnableStopTime(2);
    EXPECT_TRUE(m_console.Snapshot(2).stopTimeBoxes);
    m_runtime.DisableStopTime(2);
    EXPECT_FALSE(m_console.Snapshot(2).stopTimeBoxes);
    ASSERT_TRUE(StopTest());
}

TEST_F(TestEngineTest, StopEndsTheTestEvenWhenTheConsoleIsGone) {
    Choose({0});
    ASSERT_TRUE(StartTest());
    m_runtime.OnRunPort(0);
    ASSERT_TRUE(WaitSent(0, 3));
    m_gui.DestroyConsole();  // the console window was destroyed
    ASSERT_TRUE(StopTest());
    EXPECT_EQ(m_closeAlls, 1);
}

TEST_F(TestEngineTest, TheWriteDelayCanChangeWhilePortsSend) {
    Choose({0, 1});
    ASSERT_TRUE(StartTest());
    m_runtime.OnRunPort(0);
    m_runtime.OnRunPort(1);
    for (int i = 0; i < 200; ++i) {
        m_runtime.SetWriteDelay(i % 2 == 0 ? "1" : "0");
    }
    ASSERT_TRUE(WaitSent(1, 10));
    ASSERT_TRUE(StopTest());
    EXPECT_EQ(m_runtime.WriteDelayMs(), 0);
    EXPECT_EQ(m_runtime.WriteDelayText(), "0");
}

TEST_F(TestEngineTest, PortIndexesOutsideTheCardAreRefused) {
    CTestEngine& engine = m_runtime.ConsoleEngine();
    engine.SendPacket(8);
    engine.RunPort(-1);
    m_runtime.OnRunPort(9);
    EXPECT_EQ(m_messages.Messages(), std::vector<RecordedMessage>(3, Error("DEFAULT")));
}

}  // namespace
}  // namespace quorvel
