#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "gui/GuiTestSupport.h"
#include "res/resource.h"
#include "ui/CWriteDelayDialog.h"

namespace quorvel {
namespace {

QPushButton* Button(QDialog& dialog, int id) {
    return dialog.findChild<QPushButton*>(QStringLiteral("id%1").arg(id));
}

TEST(WriteDelayDialog, IsBuiltFromItsTemplateInDialogUnits) {
    CWriteDelayDialog dialog(QStringLiteral("10"));
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), "Write Delay");
    EXPECT_EQ(dialog.DelayEdit()->text(), "10");
    const DialogUnits units(dialog.font());
    EXPECT_EQ(dialog.DelayEdit()->geometry(), units.ToPixels(15, 20, 40, 14));
    EXPECT_EQ(Button(dialog, res::kIdCancel)->geometry(), units.ToPixels(80, 50, 50, 14));
    EXPECT_EQ(dialog.size(), QSize(units.ToPixelsX(147), units.ToPixelsY(71)));
    EXPECT_TRUE(Button(dialog, res::kIdOk)->isDefault());
    const QStringList labels = [&] {
        QStringList texts;
        for (const QLabel* label : dialog.findChildren<QLabel*>()) {
            texts << label->text();
        }
        return texts;
    }();
    EXPECT_TRUE(labels.contains("Enter the required delay"));
    EXPECT_TRUE(labels.contains("msecs"));
    // A font is there to draw the text with, not boxes.
    EXPECT_GT(QFontMetrics(dialog.font()).horizontalAdvance("msecs"), 0);
    EXPECT_TRUE(testing::SaveScreenshot(dialog, "write-delay"));
}

TEST(WriteDelayDialog, TakesAtMostFourDigitsAndNothingElse) {
    CWriteDelayDialog dialog(QStringLiteral("10"));
    dialog.show();
    QLineEdit* edit = dialog.DelayEdit();
    edit->clear();
    QTest::keyClicks(edit, "12345");
    EXPECT_EQ(edit->text(), "1234");
    edit->clear();
    QTest::keyClicks(edit, "a1-b2 .");
    EXPECT_EQ(edit->text(), "12");
}

TEST(WriteDelayDialog, OkStoresTheTextAsItStandsAndCancelKeepsTheOldValue) {
    CWriteDelayDialog cancelled(QStringLiteral("10"));
    cancelled.show();
    QTest::keyClicks(cancelled.DelayEdit(), "55");
    QTest::mouseClick(Button(cancelled, res::kIdCancel), Qt::LeftButton);
    EXPECT_EQ(cancelled.result(), QDialog::Rejected);
    EXPECT_EQ(cancelled.DelayText(), "10");

    CWriteDelayDialog emptied(QStringLiteral("10"));
    emptied.show();
    emptied.DelayEdit()->clear();
    QTest::mouseClick(Button(emptied, res::kIdOk), Qt::LeftButton);
    EXPECT_EQ(emptied.result(), QDialog::Accepted);
    EXPECT_EQ(emptied.DelayText(), "");

    CWriteDelayDialog largest(QStringLiteral("10"));
    largest.show();
    largest.DelayEdit()->clear();
    QTest::keyClicks(largest.DelayEdit(), "9999");
    QTest::keyClick(largest.DelayEdit(), Qt::Key_Return);  // Enter presses the default OK
    EXPECT_EQ(largest.result(), QDialog::Accepted);
    EXPECT_EQ(largest.DelayText(), "9999");
}

}  // namespace
}  // namespace quorvel
