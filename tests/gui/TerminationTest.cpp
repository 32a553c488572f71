// Ctrl+C or SIGTERM while Quorvel runs: the signal reaches the GUI thread as
// a request, a test under way stops as Test > Stop stops it, and the program
// is told it may end only once the test's ports are closed.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <csignal>
#include <vector>

#include "app/TerminationSignals.h"
#include "gui/ConsoleFixture.h"
#include "ui/CWriteDelayDialog.h"

namespace quorvel {
namespace {

using res::PanelRole;

class TerminationTest : public testing::ConsoleFixture {
  protected:
    void SetUp() override {
        ConsoleFixture::SetUp();
        QObject::connect(&m_signals, &TerminationSignals::requested, &m_app,
                         &CQuorvelApp::RequestQuit);
        // What the test's state was each time the program was told it may end.
        QObject::connect(&m_app, &CQuorvelApp::readyToQuit, &m_app, [this] {
            m_readyWhileIdle.push_back(m_app.Runtime().IsIdle() && !m_app.Runtime().IsPortOpen(0) &&
                                       QApplication::activeModalWidget() == nullptr);
        });
    }

    bool ReadyToQuit() {
        return testing::ProcessEventsUntil([this] { return !m_readyWhileIdle.empty(); });
    }

    TerminationSignals m_signals;
    std::vector<bool> m_readyWhileIdle;
};

TEST_F(TerminationTest, SigtermWhileAPortRunsStopsTheTestAndEndsOnlyOnceItsPortsAreClosed) {
    CSerialTestDialog* console = Start();
    ASSERT_NE(console, nullptr);
    QTest::mouseClick(console->As<QPushButton>(PanelRole::Run, 0), Qt::LeftButton);
    ASSERT_TRUE(testing::ProcessEventsUntil([&] { return m_app.Runtime().PacketCount(0) >= 2; }));

    ASSERT_EQ(::raise(SIGTERM), 0);
    ASSERT_TRUE(ReadyToQuit());
    EXPECT_EQ(m_readyWhileIdle, std::vector<bool>{true});
    EXPECT_TRUE(m_app.QuitRequested());
    EXPECT_FALSE(m_app.Runtime().TestRunning());
    EXPECT_FALSE(m_app.Runtime().IsPortRunning(0));
    EXPECT_TRUE(m_frame.Action(res::kAppExit)->isEnabled());
    EXPECT_TRUE(m_messages.Messages().empty()) << m_messages.Shown();
}

TEST_F(TerminationTest, SigintWithNoTestEndsAtOnceAndOnceOnly) {
    ASSERT_EQ(::raise(SIGINT), 0);
    ASSERT_TRUE(ReadyToQuit());
    EXPECT_EQ(m_readyWhileIdle, std::vector<bool>{true});
    // The Stop that ends an idle program's test is never needed.
    EXPECT_EQ(m_app.Runtime().ThreadExitsCounted(), 0);
}

TEST_F(TerminationTest, AModalDialogOpenDuringATestIsCancelledAndHoldsNothingUp) {
    ASSERT_NE(Start(), nullptr);
    bool dialogShown = false;
    testing::WhenShown<CWriteDelayDialog>(m_frame, [&](CWriteDelayDialog& dialog) {
        dialogShown = true;
        dialog.DelayEdit()->setText(QStringLiteral("250"));  // never confirmed
        // Should the request leave it open, it goes all the same, so the test
        // fails rather than hangs.
        QTimer::singleShot(5000, &dialog, &QDialog::reject);
        ::raise(SIGTERM);
    });
    // Test > Delay runs its dialog modally; the signal comes while it is open.
    QTimer::singleShot(0, &m_frame, [this] { m_frame.Action(res::kTestDelay)->trigger(); });
    ASSERT_TRUE(ReadyToQuit());
    EXPECT_TRUE(dialogShown);
    EXPECT_EQ(m_readyWhileIdle, std::vector<bool>{true});
    EXPECT_EQ(m_app.Runtime().WriteDelayText(), "10");
}

}  // namespace
}  // namespace quorvel
