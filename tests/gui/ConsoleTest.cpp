#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "engine/TestData.h"
#include "gui/ConsoleFixture.h"

namespace quorvel {
namespace {

using res::PanelRole;

using ConsoleTest = testing::ConsoleFixture;

TEST_F(ConsoleTest, EightPanelsOfControlsFromOneLayout) {
    CSerialTestDialog* shown = Start();
    ASSERT_NE(shown, nullptr);
    CSerialTestDialog& console = *shown;
    EXPECT_EQ(console.windowTitle(), "Serial Communication Test");
    EXPECT_EQ(console.ControlCount(), 176);
    EXPECT_EQ(console.Control(PanelRole::TestForever, 5)->objectName(), "id1025");
    EXPECT_EQ(console.Control(PanelRole::TimeOption, 5)->objectName(), "id1133");
    EXPECT_EQ(console.Control(PanelRole::ErrorOption, 5)->objectName(), "id1134");
    EXPECT_EQ(console.As<QCheckBox>(PanelRole::Txd, 0)->text(), "TXD");
    EXPECT_EQ(console.frameGeometry().topLeft(), QPoint(100, 100));
    EXPECT_EQ(console.size(), QSize(860, 580));
    EXPECT_TRUE(console.isVisible());
}

TEST_F(ConsoleTest, PanelsStartFromTheirRecords) {
    PortTestSettings& port0 = m_app.Records().m_PortTest[0];
    port0.nDisONOFF = 1;
    port0.nStopError = 1;
    port0.nStopTime = 0;
    port0.nTestForever = 0;
    m_app.Records().m_PortTest[1].nStopTime = 1;
    m_app.Records().m_PortTest[1].nTestForever = 0;
    CSerialTestDialog* shown = Start();
    ASSERT_NE(shown, nullptr);
    CSerialTestDialog& console = *shown;
    EXPECT_TRUE(console.As<QCheckBox>(PanelRole::Enable, 0)->isChecked());
    EXPECT_TRUE(console.As<QRadioButton>(PanelRole::ErrorOption, 0)->isChecked());
    EXPECT_TRUE(
        console.As<QRadioButton>(PanelRole::ErrorOption, 0)->isEnabled());  // data is checked
    EXPECT_FALSE(console.As<QLineEdit>(PanelRole::Hours, 0)->isEnabled());
    EXPECT_FALSE(console.As<QCheckBox>(PanelRole::LoopTest, 0)->isChecked());
    EXPECT_EQ(console.As<QLineEdit>(PanelRole::PacketCount, 0)->text(), "0");
    EXPECT_EQ(console.As<QLineEdit>(PanelRole::ErrorCount, 0)->text(), "0");
    EXPECT_FALSE(console.As<QPushButton>(PanelRole::Stop, 0)->isEnabled());
    EXPECT_TRUE(console.As<QPushButton>(PanelRole::Run, 0)->isEnabled());
    EXPECT_TRUE(console.As<QLineEdit>(PanelRole::Hours, 1)->isEnabled());
    EXPECT_EQ(console.As<QLineEdit>(PanelRole::Hours, 1)->text(), "2");
    EXPECT_EQ(console.As<QLineEdit>(PanelRole::Minutes, 1)->text(), "20");
    for (PanelRole indicator : {PanelRole::Rxd, PanelRole::Dtr, PanelRole::Rts, PanelRole::Dsr,
                                PanelRole::Cts, PanelRole::Ri, PanelRole::Dcd}) {
        EXPECT_FALSE(console.As<QCheckBox>(indicator, 3)->isChecked());
        EXPECT_FALSE(console.As<QCheckBox>(indicator, 3)->isEnabled());
    }
}

TEST_F(ConsoleTest, ABoxShowsWhatAppendsOneByOneWouldLeaveAtItsLimitOf10000) {
    CSerialTestDialog* shown = Start();
    ASSERT_NE(shown, nullptr);
    CSerialTestDialog& console = *shown;
    QPlainTextEdit* box = console.As<QPlainTextEdit>(PanelRole::Receive, 2);
    // Drawn at once: a box at its limit keeps what it has.
    m_console.AppendReceiveText(2, std::string(9990, 'a'));
    m_console.AppendReceiveText(2, "0123456789");
    m_console.Refresh();
    EXPECT_EQ(box->toPlainText().size(), 10000);
    // One batch: the append that would pass the limit empties the box first,
    // and what follows it in the batch is appended after it.
    m_console.AppendReceiveText(2, "next");
    m_console.AppendReceiveText(2, std::string(9997, 'b'));
    m_console.AppendReceiveText(2, "last");
    m_console.Refresh();
    EXPECT_EQ(box->toPlainText(), QStringLiteral("last"));
    m_console.AppendReceiveText(2, std::string(9990, 'c'));
    m_console.AppendReceiveText(2, "after");
    m_console.Refresh();
    EXPECT_EQ(box->toPlainText(),
              QStringLiteral("last") + QString(9990, 'c') + QStringLiteral("after"));

    // One character a byte, and a line break for CR LF, a lone CR or a lone
    // LF; a CR LF split between two appends is still one break.
    m_console.ClearDataBoxes(2);
    m_console.AppendReceiveText(2, "line\r");
    m_console.Refresh();
    m_console.AppendReceiveText(2, "\nmore\rcr\nlf\xE9\xFF");
    m_console.Refresh();
    EXPECT_EQ(box->toPlainText(), QStringLiteral("line\nmore\ncr\nlf\u00E9\u00FF"));
}

TEST_F(ConsoleTest, RunOnPort1ShowsTheAlphabetLinesComingBackThroughThePlug) {
    CSerialTestDialog* shown = Start();
    ASSERT_NE(shown, nullptr);
    CSerialTestDialog& console = *shown;
    QTest::mouseClick(console.As<QPushButton>(PanelRole::Run, 0), Qt::LeftButton);
    EXPECT_FALSE(console.As<QPushButton>(PanelRole::Run, 0)->isEnabled());
    EXPECT_TRUE(console.As<QPushButton>(PanelRole::Stop, 0)->isEnabled());
    const QString line = QString::fromLatin1(kAlphabets.data(), kAlphabets.size());
    QPlainTextEdit* received = console.As<QPlainTextEdit>(PanelRole::Receive, 0);
    ASSERT_TRUE(testing::ProcessEventsUntil([&] {
        return received->toPlainText().count("0123456789abcdefghijklmnopqrstuvwxyz.") >= 3;
    }));
    EXPECT_TRUE(console.As<QPlainTextEdit>(PanelRole::Transmit, 0)
                    ->toPlainText()
                    .startsWith(line.trimmed()));
    EXPECT_GE(console.As<QLineEdit>(PanelRole::PacketCount, 0)->text().toInt(), 3);
    EXPECT_TRUE(testing::SaveScreenshot(console, "console-running"));

    QTest::mouseClick(console.As<QPushButton>(PanelRole::Stop, 0), Qt::LeftButton);
    EXPECT_TRUE(console.As<QPushButton>(PanelRole::Run, 0)->isEnabled());
    m_frame.Action(res::kTestStop)->trigger();
    ASSERT_TRUE(testing::ProcessEventsUntil([&] { return m_app.Runtime().StartEnabled(); }));
    EXPECT_FALSE(console.As<QPushButton>(PanelRole::Run, 0)->isEnabled());
    EXPECT_TRUE(m_messages.Messages().empty()) << m_messages.Shown();
}

TEST_F(ConsoleTest, EnableGovernsOnlyTheDisplayAndShowsWhatComesAfterItsTick) {
    m_app.Records().m_PortTest[0].nDisONOFF = 0;
    CSerialTestDialog* shown = Start();
    ASSERT_NE(shown, nullptr);
    CSerialTestDialog& console = *shown;
    QCheckBox* enable = console.As<QCheckBox>(PanelRole::Enable, 0);
    QLineEdit* count = console.As<QLineEdit>(PanelRole::PacketCount, 0);
    QPlainTextEdit* transmitted = console.As<QPlainTextEdit>(PanelRole::Transmit, 0);
    QPlainTextEdit* received = console.As<QPlainTextEdit>(PanelRole::Receive, 0);
    const QString line = QStringLiteral("0123456789abcdefghijklmnopqrstuvwxyz.\n");
    ASSERT_FALSE(enable->isChecked());
    QTest::mouseClick(console.As<QPushButton>(PanelRole::Run, 0), Qt::LeftButton);
    ASSERT_TRUE(testing::ProcessEventsUntil([&] { return count->text().toInt() >= 5; }));
    EXPECT_EQ(transmitted->toPlainText(), "");  // not shown, still sent and counted
    EXPECT_EQ(received->toPlainText(), "");
    EXPECT_TRUE(testing::ProcessEventsUntil(
        [&] { return m_card.BytesSentBy(0) >= 5 * kAlphabets.size(); }));

    QTest::mouseClick(enable, Qt::LeftButton, {}, QPoint(5, 5));
    ASSERT_TRUE(testing::ProcessEventsUntil([&] {
        return transmitted->toPlainText().count(line) >= 3 && received->toPlainText().size() > 40;
    }));
    // Whole packets from the first one after the tick, fewer than were sent.
    EXPECT_TRUE(transmitted->toPlainText().startsWith(line));
    EXPECT_EQ(transmitted->toPlainText(),
              line.repeated(static_cast<int>(transmitted->toPlainText().count(line))));
    EXPECT_LE(transmitted->toPlainText().count(line), count->text().toInt() - 5);

    QTest::mouseClick(enable, Qt::LeftButton, {}, QPoint(5, 5));
    testing::ProcessEventsUntil([] { return false; }, 300);  // what was on its way is drawn
    const QString shownTx = transmitted->toPlainText();
    const QString shownRx = received->toPlainText();
    const int countAtClear = count->text().toInt();
    ASSERT_TRUE(
        testing::ProcessEventsUntil([&] { return count->text().toInt() >= countAtClear + 5; }));
    EXPECT_EQ(transmitted->toPlainText(), shownTx);
    EXPECT_EQ(received->toPlainText(), shownRx);
}

TEST_F(ConsoleTest, StopKeepsTheCountAndTheNextRunStartsFromZero) {
    CSerialTestDialog* shown = Start();
    ASSERT_NE(shown, nullptr);
    CSerialTestDialog& console = *shown;
    QLineEdit* count = console.As<QLineEdit>(PanelRole::PacketCount, 0);
    QPlainTextEdit* transmitted = console.As<QPlainTextEdit>(PanelRole::Transmit, 0);
    QTest::mouseClick(console.As<QPushButton>(PanelRole::Run, 0), Qt::LeftButton);
    ASSERT_TRUE(testing::ProcessEventsUntil([&] { return count->text().toInt() >= 5; }));
    QTest::mouseClick(console.As<QPushButton>(PanelRole::Stop, 0), Qt::LeftButton);
    testing::ProcessEventsUntil([] { return false; }, 500);  // a packet in flight lands
    const QString kept = count->text();
    EXPECT_GE(kept.toInt(), 5);
    testing::ProcessEventsUntil([] { return false; }, 300);
    EXPECT_EQ(count->text(), kept);
    // Run empties the boxes and counts from zero: what Packet Count shows as
    // the click returns is the packets the transmit box shows since the Run
    // (the count of the latest one may still be on its way).
    QTest::mouseClick(console.As<QPushButton>(PanelRole::Run, 0), Qt::LeftButton);
    const int lines = static_cast<int>(transmitted->toPlainText().count(QLatin1Char('\n')));
    EXPECT_GE(lines, 1);
    EXPECT_GE(count->text().toInt(), lines - 1);
    EXPECT_LE(count->text().toInt(), lines);

    // A second start after a complete test reuses the console where it was put.
    m_frame.Action(res::kTestStop)->trigger();
    ASSERT_TRUE(testing::ProcessEventsUntil([&] { return m_app.Runtime().StartEnabled(); }));
    console.move(300, 300);
    m_frame.Action(res::kTestStart)->trigger();
    EXPECT_EQ(m_console.Dialog(), &console);
    EXPECT_EQ(console.frameGeometry().topLeft(), QPoint(100, 100));
    EXPECT_EQ(console.size(), QSize(860, 580));
    EXPECT_TRUE(console.As<QPushButton>(PanelRole::Run, 3)->isEnabled());
}

TEST_F(ConsoleTest, LoopbackCablesAndPatternsAcrossThreePorts) {
    // Port1 and Port2 cabled to each other, Port3 with nothing attached.
    m_card.AttachCable(0, 1);
    m_card.AttachNothing(2);
    for (std::size_t port : {0u, 1u, 2u}) {
        m_app.Records().m_PortRegistry[port].nPortOpen = 1;
        m_app.Records().m_PortTest[port].nDisONOFF = 1;
    }
    PortPatternSettings twoLines = m_app.Records().m_PortPattern[1];
    twoLines.nAlpha = 0;
    twoLines.nUserData = 1;
    twoLines.strUserData = "first line\r\nsecond line\r\n";
    m_app.Runtime().SetPattern(1, twoLines);
    CSerialTestDialog* shown = Start();
    ASSERT_NE(shown, nullptr);
    CSerialTestDialog& console = *shown;
    auto received = [&](int port) {
        return console.As<QPlainTextEdit>(PanelRole::Receive, port)->toPlainText();
    };
    auto run = [&](int port) {
        QTest::mouseClick(console.As<QPushButton>(PanelRole::Run, port), Qt::LeftButton);
    };
    run(0);
    run(1);
    run(2);
    // Each cabled port shows what the other sends.
    ASSERT_TRUE(testing::ProcessEventsUntil([&] {
        return received(1).count("0123456789abcdefghijklmnopqrstuvwxyz.") >= 2 &&
               received(0).count("first line\nsecond line\n") >= 2;
    }));
    // The user pattern goes as one packet a turn.
    EXPECT_TRUE(console.As<QPlainTextEdit>(PanelRole::Transmit, 1)
                    ->toPlainText()
                    .startsWith("first line\nsecond line\nfirst line"));
    // Nothing attached: nothing back, until the card's internal loopback is on.
    EXPECT_EQ(received(2), "");
    QTest::mouseClick(console.As<QCheckBox>(PanelRole::LoopTest, 2), Qt::LeftButton, {},
                      QPoint(5, 5));
    ASSERT_TRUE(testing::ProcessEventsUntil(
        [&] { return received(2).count("0123456789abcdefghijklmnopqrstuvwxyz.") >= 2; }));
    EXPECT_TRUE(testing::SaveScreenshot(console, "console-three-ports"));
    QTest::mouseClick(console.As<QCheckBox>(PanelRole::LoopTest, 2), Qt::LeftButton, {},
                      QPoint(5, 5));
    testing::ProcessEventsUntil([] { return false; }, 500);  // what was on its way arrives
    const QString settled = received(2);
    testing::ProcessEventsUntil([] { return false; }, 300);
    EXPECT_EQ(received(2), settled);  // off again: nothing more comes back
    EXPECT_EQ(m_app.Records().m_PortTest[2].nLoopTest, 0);

    // Test > Stop: every button is off once the last of the four threads has ended.
    m_frame.Action(res::kTestStop)->trigger();
    ASSERT_TRUE(testing::ProcessEventsUntil([&] { return m_app.Runtime().StartEnabled(); }));
    for (int port = 0; port < kPortCount; ++port) {
        for (PanelRole button : {PanelRole::Run, PanelRole::Stop, PanelRole::Transfer}) {
            EXPECT_FALSE(console.As<QPushButton>(button, port)->isEnabled()) << port;
        }
    }
    EXPECT_TRUE(m_messages.Messages().empty()) << m_messages.Shown();
}

TEST_F(ConsoleTest, EscapeOrACloseHidesTheConsoleAndTestStartBringsItBack) {
    CSerialTestDialog* shown = Start();
    ASSERT_NE(shown, nullptr);
    CSerialTestDialog& console = *shown;
    // A window of the main window, without a close box of its own.
    EXPECT_EQ(console.parentWidget(), &m_frame);
    EXPECT_TRUE(console.isWindow());
    EXPECT_FALSE(console.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(console.windowFlags() & Qt::WindowSystemMenuHint);
    QAction* start = m_frame.Action(res::kTestStart);
    EXPECT_FALSE(start->isEnabled());  // shown: nothing to bring back

    QTest::keyClick(&console, Qt::Key_Return);
    EXPECT_TRUE(console.isVisible());
    for (const bool escape : {true, false}) {
        if (escape) {
            QTest::keyClick(&console, Qt::Key_Escape);
        } else {
            console.move(300, 300);
            EXPECT_FALSE(console.close());  // as the window manager's close box asks
        }
        EXPECT_FALSE(console.isVisible());
        EXPECT_TRUE(m_app.Runtime().TestRunning());
        EXPECT_EQ(m_console.Console(), &m_console);
        EXPECT_EQ(m_console.Dialog(), &console);
        // Start now brings the console back, where a start puts it; the test
        // goes on as it was, and Exit stays off.
        EXPECT_TRUE(start->isEnabled());
        EXPECT_FALSE(m_frame.Action(res::kAppExit)->isEnabled());
        start->trigger();
        EXPECT_TRUE(console.isVisible());
        // Where a start puts it, or where the operator last moved it.
        EXPECT_EQ(console.frameGeometry().topLeft(), escape ? QPoint(100, 100) : QPoint(300, 300));
        EXPECT_FALSE(start->isEnabled());
        EXPECT_EQ(m_app.Runtime().OpenPortCount(), 1);
        EXPECT_TRUE(console.As<QPushButton>(PanelRole::Run, 0)->isEnabled());
    }
    EXPECT_TRUE(m_messages.Messages().empty()) << m_messages.Shown();
}

}  // namespace
}  // namespace quorvel
