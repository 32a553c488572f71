// The console's line indicators on the simulated card: the modem lines as
// they are, TXD and RXD lit by the bytes that move, DTR and RTS switched by a
// click; and the line figures of the statistics window.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include "gui/ConsoleFixture.h"

namespace quorvel {
namespace {

using res::PanelRole;
using LineIndicatorsTest = testing::ConsoleFixture;

// The six line indicators' check states, as DTR RTS DSR CTS RI DCD: "101111".
QString LinesShown(CSerialTestDialog& console, int port) {
    QString shown;
    for (PanelRole role : {PanelRole::Dtr, PanelRole::Rts, PanelRole::Dsr, PanelRole::Cts,
                           PanelRole::Ri, PanelRole::Dcd}) {
        shown += console.As<QCheckBox>(role, port)->isChecked() ? '1' : '0';
    }
    return shown;
}

bool Lit(CSerialTestDialog& console, PanelRole role, int port) {
    return console.As<QCheckBox>(role, port)->isChecked();
}

void Click(CSerialTestDialog& console, PanelRole role, int port) {
    QTest::mouseClick(console.As<QCheckBox>(role, port), Qt::LeftButton, {}, QPoint(5, 5));
}

TEST_F(LineIndicatorsTest, TheIndicatorsShowTheLinesAsTheyAreAndDtrAndRtsSwitchOnAClick) {
    // Port1 and Port2 cabled, Port3 on its plug.
    m_card.AttachCable(0, 1);
    for (std::size_t port : {0u, 1u, 2u}) {
        m_app.Records().m_PortRegistry[port].nPortOpen = 1;
        m_app.Records().m_PortTest[port].nDisONOFF = 1;
    }
    CSerialTestDialog* shown = Start();
    ASSERT_NE(shown, nullptr);
    CSerialTestDialog& console = *shown;
    ASSERT_TRUE(testing::ProcessEventsUntil([&] { return LinesShown(console, 2) == "111111"; }));
    // A cable leaves RI open.
    ASSERT_TRUE(testing::ProcessEventsUntil([&] { return LinesShown(console, 0) == "111101"; }));
    EXPECT_TRUE(console.As<QCheckBox>(PanelRole::Cts, 2)->isEnabled());
    EXPECT_FALSE(console.As<QCheckBox>(PanelRole::Cts, 3)->isEnabled());  // not open

    // The inputs only show: a click changes nothing.
    Click(console, PanelRole::Cts, 2);
    testing::ProcessEventsUntil([] { return false; }, 100);
    EXPECT_EQ(LinesShown(console, 2), "111111");

    // RTS and DTR of Port1 drop; Port2's CTS, DSR and DCD follow.
    Click(console, PanelRole::Rts, 0);
    ASSERT_TRUE(testing::ProcessEventsUntil([&] { return LinesShown(console, 1) == "111001"; }));
    EXPECT_EQ(LinesShown(console, 0), "101101");
    Click(console, PanelRole::Dtr, 0);
    ASSERT_TRUE(testing::ProcessEventsUntil([&] { return LinesShown(console, 1) == "110000"; }));
    EXPECT_EQ(LinesShown(console, 0), "001101");
    Click(console, PanelRole::Dtr, 0);

    // TXD and RXD light while the bytes move, for every pattern.
    QTest::mouseClick(console.As<QPushButton>(PanelRole::Run, 2), Qt::LeftButton);
    QTest::mouseClick(console.As<QPushButton>(PanelRole::Run, 1), Qt::LeftButton);
    ASSERT_TRUE(testing::ProcessEventsUntil([&] {
        return Lit(console, PanelRole::Txd, 2) && Lit(console, PanelRole::Rxd, 2) &&
               Lit(console, PanelRole::Txd, 1) && Lit(console, PanelRole::Rxd, 0) &&
               LinesShown(console, 1) == "111001";
    }));
    EXPECT_FALSE(Lit(console, PanelRole::Rxd, 1));  // Port1 sends nothing to it
    EXPECT_TRUE(testing::SaveScreenshot(console, "console-lines"));
    QTest::mouseClick(console.As<QPushButton>(PanelRole::Stop, 2), Qt::LeftButton);
    QTest::mouseClick(console.As<QPushButton>(PanelRole::Stop, 1), Qt::LeftButton);
    // Gone out within moments of the last byte.
    ASSERT_TRUE(testing::ProcessEventsUntil(
        [&] { return !Lit(console, PanelRole::Txd, 2) && !Lit(console, PanelRole::Rxd, 2); }));

    m_frame.Action(res::kTestStop)->trigger();
    ASSERT_TRUE(testing::ProcessEventsUntil([&] { return m_app.Runtime().StartEnabled(); }));
    // Drawn at the display's next frame: the ports are closed, nothing to show.
    ASSERT_TRUE(testing::ProcessEventsUntil(
        [&] { return !console.As<QCheckBox>(PanelRole::Cts, 2)->isEnabled(); }));
    EXPECT_EQ(LinesShown(console, 2), "000000");
    EXPECT_FALSE(console.As<QCheckBox>(PanelRole::Txd, 2)->isEnabled());
    EXPECT_TRUE(m_messages.Messages().empty()) << m_messages.Shown();
}

QString Cell(CStatisticsDialog& window, int port, const QString& column) {
    for (int c = 0; c < window.Table()->columnCount(); ++c) {
        if (window.Table()->horizontalHeaderItem(c)->text() == column) {
            return window.Table()->item(port, c)->text();
        }
    }
    return QStringLiteral("no column ") + column;
}

TEST_F(LineIndicatorsTest, TheStatisticsGiveTheLineErrorsAndChangesOfEachPort) {
    m_app.Records().m_PortRegistry[0].nBaud = 10;  // 115200: a busy machine keeps up
    PortTestSettings& test = m_app.Records().m_PortTest[0];
    test.nTestForever = 1;  // an error does not end the run
    test.nStopError = test.nStopTime = 0;
    m_card.SetFramingErrorRate(0, 0.01);
    m_card.SetBreaks(0, true);
    CSerialTestDialog* console = Start();
    ASSERT_NE(console, nullptr);
    QTest::mouseClick(console->As<QPushButton>(PanelRole::Run, 0), Qt::LeftButton);
    Click(*console, PanelRole::Rts, 0);
    m_frame.ShowStatistics();
    CStatisticsDialog* window = m_frame.Statistics();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(testing::ProcessEventsUntil([&] {
        window->Refresh();
        return Cell(*window, 0, "Framing").toInt() > 3 && Cell(*window, 0, "Break").toInt() > 0;
    }));
    QTest::mouseClick(console->As<QPushButton>(PanelRole::Stop, 0), Qt::LeftButton);
    m_card.SetBreaks(0, false);
    // Every byte the port wrote is on the line, and so counted by the card,
    // before the ports close: the card counts an error as it delivers the
    // character, which may be after the port has stopped sending.
    const TestRuntime& runtime = m_app.Runtime();
    ASSERT_TRUE(testing::ProcessEventsUntil([&] {
        return !runtime.IsPortRunning(0) && m_card.QueuedBytes(0) == 0 &&
               m_card.BytesSentBy(0) == runtime.BytesSentThisRun(0);
    }));
    m_frame.Action(res::kTestStop)->trigger();
    ASSERT_TRUE(testing::ProcessEventsUntil([&] { return m_app.Runtime().StartEnabled(); }));
    window->Refresh();
    const CardFaultCounts card = m_card.FaultCountsOf(0);
    EXPECT_EQ(Cell(*window, 0, "Framing").toULongLong(), card.framing);
    EXPECT_EQ(Cell(*window, 0, "Break").toULongLong(), card.breaks);
    EXPECT_EQ(Cell(*window, 0, "Parity"), "0");
    EXPECT_EQ(Cell(*window, 0, "CTS changes"), "1");  // RTS dropped through the plug
    EXPECT_EQ(Cell(*window, 2, "Framing"), "n/a");    // not open
    EXPECT_TRUE(testing::SaveScreenshot(*window, "statistics-lines"));

    for (QPushButton* button : window->findChildren<QPushButton*>()) {
        if (button->text() == "&Copy") {
            QTest::mouseClick(button, Qt::LeftButton);
        }
    }
    const QStringList rows = QApplication::clipboard()->text().split('\n');
    ASSERT_GE(rows.size(), 5);  // the time, the header, a line a port
    EXPECT_TRUE(rows[1].endsWith(
        ",Framing,Parity,Overrun,Buffer overrun,Break,CTS changes,DSR changes,DCD changes,RI "
        "changes"));
    EXPECT_TRUE(rows[4].endsWith(",,,,,,,,,")) << rows[4].toStdString();  // Port3: no lines
}

}  // namespace
}  // namespace quorvel
