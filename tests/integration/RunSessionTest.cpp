// The steps of an unattended run that wait on the test's threads: each waits
// for what it waits for, and only so long.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "card/SimulatedCard.h"
#include "engine/TestRuntime.h"
#include "fakes/RecordingMessageSink.h"
#include "run/RunConsole.h"
#include "run/RunOptions.h"
#include "run/RunSession.h"
#include "run/RunTerminal.h"

namespace quorvel {
namespace {

// Port1 and Port2 of a simulated card on plugs, opened by Test > Start, the
// test's thread playing the run's.
class RunSessionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(m_card.Start(&error)) << error;
        m_card.Install();
        for (auto& record : m_records.m_PortRegistry) {
            record.nPortOpen = 0;
        }
        m_records.m_PortRegistry[0].nPortOpen = m_records.m_PortRegistry[1].nPortOpen = 1;
    }
    void TearDown() override {
        // Close-all, for a test that kept the exit notices from the runtime.
        m_console.onThreadExit = [this] { m_runtime.OnThreadExit(); };
        for (int i = 0; i < m_noticesKept; ++i) {
            m_runtime.OnThreadExit();
        }
        EXPECT_TRUE(m_console.RunUntil([this] { return m_runtime.IsIdle(); }, 100, 60000));
    }

    testing::RecordingMessageSink m_messages;
    SimulatedCard m_card;  // outlives the runtime, whose end closes the ports on it
    PortRecords m_records = DefaultPortRecords();
    RunConsole m_console;
    TestRuntime m_runtime{m_records, m_console, m_console};
    int m_noticesKept = 0;
};

TEST_F(RunSessionTest, TheStopWaitsForCloseAllAndNoLongerThanItsBound) {
    m_console.onThreadExit = [this] { m_runtime.OnThreadExit(); };
    m_runtime.OnTestStart();
    ASSERT_EQ(m_runtime.OpenPortCount(), 2);
    EXPECT_TRUE(StopTestAndAwaitClose(m_runtime, m_console, 60000));
    EXPECT_TRUE(m_runtime.IsIdle());
    EXPECT_FALSE(m_runtime.IsPortOpen(0));

    // The exit notices reach nobody: close-all never comes, and the wait
    // ends at its bound with the ports still open.
    m_console.onThreadExit = [this] { ++m_noticesKept; };
    m_runtime.OnTestStart();
    ASSERT_EQ(m_runtime.OpenPortCount(), 2);
    EXPECT_FALSE(StopTestAndAwaitClose(m_runtime, m_console, 300));
    EXPECT_FALSE(m_runtime.IsIdle());
    EXPECT_TRUE(m_runtime.IsPortOpen(1));
}

// The engine's clock at 120 times the steady clock's pace: a Stop On Time of
// minutes passes in seconds, while the card and the run keep real time.
class FastClock final : public TickClock {
  public:
    std::uint64_t NowMs() const override {
        return m_start + (SteadyTickClock::Instance().NowMs() - m_start) * 120;
    }

  private:
    const std::uint64_t m_start = SteadyTickClock::Instance().NowMs();
};

TEST(RunStopsTest, APortStopsByItsRecordsTimeOrAtItsFirstErrorAsOnTheConsole) {
    // The profile the GUI left: Port1 stops on time after 0:01 (two seconds
    // on the fast clock), Port2 tests for ever, Port3 stops at its first error.
    const std::filesystem::path home = std::filesystem::temp_directory_path() /
                                       ("quorvel-run-stops-" + std::to_string(::getpid()));
    std::filesystem::create_directories(home / "Quorvel");
    {
        std::ofstream profile(home / "Quorvel" / "Quorvel.conf");
        profile << "[Version%201.0]\n";
        for (int port = 0; port < 3; ++port) {
            const std::string key = "m_PortRegistry[" + std::to_string(port) + "].";
            profile << key << "nTestForever=" << (port == 1 ? 1 : 0) << "\n"
                    << key << "nStopTime=" << (port == 0 ? 1 : 0) << "\n"
                    << key << "nStopError=" << (port == 2 ? 1 : 0) << "\n"
                    << key << "strHrTime=0\n"
                    << key << "strMinTime=1\n";
        }
    }
    ::setenv("XDG_CONFIG_HOME", home.c_str(), 1);
    const std::string report = (home / "report.json").string();
    const ParsedRunOptions parsed =
        ParseRunOptions({"--simulated-card", "--ports", "1-3", "--baud", "115200", "--seconds", "4",
                         "--fault", "3:bit-errors=0.01", "--min-rate", "0", "--json", report});
    ASSERT_TRUE(parsed.error.empty()) << parsed.error;
    RunTerminal terminal;
    StandardErrorSink messages;
    InstallMessageSink(&messages);
    std::string reason;
    const FastClock clock;
    EXPECT_EQ(RunUnattended(parsed.options, terminal, messages, reason, clock), RunStatus::Failed)
        << reason;
    InstallMessageSink(nullptr);

    std::ifstream in(report);
    const nlohmann::json json = nlohmann::json::parse(in);
    const auto& ports = json["ports"];
    ASSERT_EQ(ports.size(), 3u);
    EXPECT_EQ(ports[0]["state"], "stopped on time");
    EXPECT_EQ(ports[0]["verdict"], "PASS") << ports[0]["reason"];
    EXPECT_EQ(ports[1]["state"], "idle");  // ended with the run
    EXPECT_EQ(ports[1]["verdict"], "PASS") << ports[1]["reason"];
    // Port1 sent for the half of the run its record gave it; Port2 to the end.
    EXPECT_LT(ports[0]["sent"].get<std::uint64_t>(), ports[1]["sent"].get<std::uint64_t>());
    EXPECT_EQ(ports[2]["state"], "stopped on error");
    EXPECT_EQ(ports[2]["verdict"], "FAIL");
    EXPECT_GT(ports[2]["errors"].get<std::uint64_t>(), 0u);
    std::filesystem::remove_all(home);
}

}  // namespace
}  // namespace quorvel
