// The statistics window: what every port sent, received and verified, its
// errors by kind and the time of its first error, with a fault the card puts
// in; and the Stop On Error option, which a checked test can now offer.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include "gui/ConsoleFixture.h"

namespace quorvel {
namespace {

using res::PanelRole;
using StatisticsTest = testing::ConsoleFixture;

QPushButton* ButtonTitled(QWidget& window, const QString& text) {
    for (auto* button : window.findChildren<QPushButton*>()) {
        if (button->text() == text) {
            return button;
        }
    }
    return nullptr;
}

QString Cell(CStatisticsDialog& window, int port, const QString& column) {
    for (int c = 0; c < window.Table()->columnCount(); ++c) {
        if (window.Table()->horizontalHeaderItem(c)->text() == column) {
            return window.Table()->item(port, c)->text();
        }
    }
    return QStringLiteral("no column ") + column;
}

TEST_F(StatisticsTest, EveryPortsFiguresAndAFaultsFirstErrorAreShownCopiedAndSaved) {
    // Port1 on its plug, Port2 on its plug with bit errors and another
    // pattern, Port3 not chosen.
    for (std::size_t port : {0u, 1u}) {
        m_app.Records().m_PortRegistry[port].nPortOpen = 1;
        m_app.Records().m_PortRegistry[port].nBaud = 10;  // 115200
    }
    m_app.Records().m_PortPattern[1].nAlpha = 0;
    m_app.Records().m_PortPattern[1].nQuickBrown = 1;
    m_card.SetBitErrorRate(1, 0.001);
    CSerialTestDialog* console = Start();
    ASSERT_NE(console, nullptr);
    for (int port : {0, 1}) {
        QTest::mouseClick(console->As<QPushButton>(PanelRole::Run, port), Qt::LeftButton);
    }
    QPushButton* open = console->findChild<QPushButton*>(QStringLiteral("statistics"));
    ASSERT_NE(open, nullptr);
    QTest::mouseClick(open, Qt::LeftButton);
    CStatisticsDialog* window = m_frame.Statistics();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), "Test Statistics");
    ASSERT_TRUE(testing::ProcessEventsUntil([&] {
        window->Refresh();
        return Cell(*window, 0, "Verified").toULongLong() > 5000 &&
               Cell(*window, 1, "First error") != "";
    }));
    EXPECT_EQ(Cell(*window, 0, "COM"), "COM4");
    EXPECT_EQ(Cell(*window, 0, "State"), "running");
    EXPECT_EQ(Cell(*window, 0, "Source"), "itself");
    EXPECT_EQ(Cell(*window, 1, "Source"), "itself");
    EXPECT_EQ(Cell(*window, 0, "Corrupted"), "0");
    EXPECT_NE(Cell(*window, 1, "Corrupted"), "0");
    EXPECT_EQ(Cell(*window, 2, "State"), "not open");
    EXPECT_EQ(Cell(*window, 2, "Source"), "nothing received");
    // The balance of each port, its bit error rate and latency, and what its
    // pattern cannot show.
    for (int port : {0, 1}) {
        const CheckCounts counts = m_app.Runtime().Check(port).Counts();
        EXPECT_EQ(Cell(*window, port, "Expected").toULongLong(),
                  Cell(*window, port, "Verified").toULongLong() +
                      Cell(*window, port, "Corrupted").toULongLong() +
                      Cell(*window, port, "Lost").toULongLong() +
                      Cell(*window, port, "Cut by stop").toULongLong())
            << ::testing::PrintToString(counts);
        EXPECT_NE(Cell(*window, port, "Latency median ms"), "");
        EXPECT_GE(Cell(*window, port, "Latency p99 ms").toULongLong(),
                  Cell(*window, port, "Latency median ms").toULongLong());
    }
    EXPECT_EQ(Cell(*window, 0, "Bit error rate"), "0");
    EXPECT_GT(Cell(*window, 1, "Bit error rate").toDouble(), 0.0);
    EXPECT_GE(Cell(*window, 1, "Corrupted bits").toULongLong(),
              Cell(*window, 1, "Corrupted").toULongLong());
    EXPECT_TRUE(Cell(*window, 1, "Pattern cannot show").contains("line"));
    EXPECT_EQ(Cell(*window, 2, "Bit error rate"), "");
    // The verdicts an unattended run would give: the clean port passes, the
    // one with bit errors fails and says why, the one not chosen has none.
    EXPECT_EQ(Cell(*window, 0, "Baud"), "115200");
    EXPECT_EQ(Cell(*window, 1, "Pattern"), "quickbrown");
    EXPECT_EQ(Cell(*window, 0, "Verdict"), "PASS");
    EXPECT_EQ(Cell(*window, 0, "Reason"), "");
    EXPECT_EQ(Cell(*window, 1, "Verdict"), "FAIL");
    EXPECT_TRUE(Cell(*window, 1, "Reason").contains("corrupted"))
        << Cell(*window, 1, "Reason").toStdString();
    EXPECT_EQ(Cell(*window, 2, "Verdict"), "");
    EXPECT_TRUE(Cell(*window, 0, "Duration").startsWith("0:00:"))
        << Cell(*window, 0, "Duration").toStdString();
    // The Error Count box of the faulty port says the same as its row.
    ASSERT_TRUE(testing::ProcessEventsUntil(
        [&] { return console->As<QLineEdit>(PanelRole::ErrorCount, 1)->text().toInt() > 0; }));
    EXPECT_TRUE(testing::SaveScreenshot(*window, "statistics-with-bit-errors"));
    EXPECT_TRUE(testing::SaveScreenshot(*console, "console-with-bit-errors"));

    // Copied and saved as comma-separated values: a header and a line a port.
    ASSERT_NE(ButtonTitled(*window, "&Copy"), nullptr);
    QTest::mouseClick(ButtonTitled(*window, "&Copy"), Qt::LeftButton);
    // It starts with the time the figures were taken; each port's rate,
    // pattern and duration come first in its line.
    const QString copied = QApplication::clipboard()->text();
    EXPECT_TRUE(copied.contains(QRegularExpression(
        "^Time,\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ\n"
        "Port,COM,Baud,Pattern,Duration s,State,Verdict,Reason,Source,Sent,Received,Verified,")))
        << copied.toStdString();
    EXPECT_TRUE(copied.contains(
        QRegularExpression("\nPort1,COM4,115200,alphabets,\\d+\\.\\d,running,PASS,,itself,")))
        << copied.toStdString();
    EXPECT_TRUE(copied.contains("\nPort2,COM5,115200,quickbrown,")) << copied.toStdString();
    EXPECT_TRUE(copied.contains(",FAIL,")) << copied.toStdString();
    EXPECT_EQ(copied.count('\n'), 10);
    QTemporaryDir folder;
    m_services.chosen = folder.filePath("statistics.csv");
    ASSERT_NE(ButtonTitled(*window, "&Save as CSV..."), nullptr);
    QTest::mouseClick(ButtonTitled(*window, "&Save as CSV..."), Qt::LeftButton);
    EXPECT_TRUE(m_services.suggestedStatisticsName.contains(
        QRegularExpression("^quorvel-statistics-\\d{4}-\\d\\d-\\d\\d-\\d{6}\\.csv$")))
        << m_services.suggestedStatisticsName.toStdString();
    QFile saved(m_services.chosen);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll().count('\n'), 10);
    EXPECT_TRUE(m_messages.Messages().empty()) << m_messages.Shown();
}

TEST_F(StatisticsTest, StopOnErrorEndsTheRunAtItsFirstErrorAndThePanelSaysWhy) {
    m_app.Records().m_PortRegistry[1].nPortOpen = 1;
    m_card.SetBitErrorRate(1, 0.01);
    CSerialTestDialog* console = Start();
    ASSERT_NE(console, nullptr);
    QRadioButton* onError = console->As<QRadioButton>(PanelRole::ErrorOption, 1);
    ASSERT_TRUE(onError->isEnabled());
    QTest::mouseClick(onError, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseClick(console->As<QPushButton>(PanelRole::Run, 1), Qt::LeftButton);
    ASSERT_TRUE(testing::ProcessEventsUntil(
        [&] { return console->As<QPushButton>(PanelRole::Run, 1)->isEnabled(); }));
    EXPECT_FALSE(m_app.Runtime().IsPortRunning(1));
    // The title says when and of what kind the first error was; the count is
    // the Error Count box's alone.
    const QString title = console->Panel(1)->title();
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^Port2 - stopped: first error at \\d\\d:\\d\\d:\\d\\d: "
                                          "(corrupted|lost|extra|unrecognised)$"))
            .match(title)
            .hasMatch())
        << title.toStdString();
    // The next Run starts the panel afresh.
    QTest::mouseClick(console->As<QPushButton>(PanelRole::Run, 1), Qt::LeftButton);
    EXPECT_EQ(console->Panel(1)->title(), "Port2");

    // Run on a port the test did not open says so where the operator looks,
    // and where the port is chosen; nothing runs.
    QTest::mouseClick(console->As<QPushButton>(PanelRole::Run, 2), Qt::LeftButton);
    EXPECT_EQ(console->Panel(2)->title(),
              "Port3 - not open for testing: choose it in Setup > Port Settings "
              "(\"Open Port For Testing\")");
    EXPECT_FALSE(m_app.Runtime().IsPortRunning(2));
    EXPECT_TRUE(console->As<QPushButton>(PanelRole::Run, 2)->isEnabled());
    EXPECT_TRUE(m_messages.Messages().empty()) << m_messages.Shown();
}

}  // namespace
}  // namespace quorvel
