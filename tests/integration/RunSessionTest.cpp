// The steps of an unattended run that wait on the test's threads: each waits
// for what it waits for, and only so long.
#include <gtest/gtest.h>

#include "card/SimulatedCard.h"
#include "engine/TestRuntime.h"
#include "fakes/RecordingMessageSink.h"
#include "run/RunConsole.h"
#include "run/RunSession.h"

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

}  // namespace
}  // namespace quorvel
