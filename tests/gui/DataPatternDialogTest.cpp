#include <gtest/gtest.h>

#include <QClipboard>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <fstream>

#include "engine/TestRuntime.h"
#include "fakes/FakeAppServices.h"
#include "fakes/FakeConsole.h"
#include "fakes/Fifo.h"
#include "fakes/RecordingMessageSink.h"
#include "gui/GuiTestSupport.h"
#include "res/resource.h"
#include "ui/CDataPatternDialog.h"

namespace quorvel {
namespace {

namespace id = res::pattern;
using testing::RecordedMessage;

class DataPatternDialogTest : public ::testing::Test {
  protected:
    PortPatternSettings& Pattern(int port) {
        return m_records.m_PortPattern[static_cast<std::size_t>(port)];
    }
    QPushButton* Button(QDialog& dialog, int control) {
        return dialog.findChild<QPushButton*>(QStringLiteral("id%1").arg(control));
    }
    std::string WriteFile(const QString& name, std::size_t size) {
        const QString path = m_folder.filePath(name);
        std::string bytes(size, '\0');
        for (std::size_t i = 0; i < size; ++i) {
            bytes[i] = static_cast<char>('a' + i % 26);
        }
        std::ofstream(path.toStdString(), std::ios::binary) << bytes;
        m_services.toSend = path;
        return bytes;
    }

    testing::RecordingMessageSink m_messages;
    PortRecords m_records = DefaultPortRecords();
    testing::RecordingConsole m_console;
    testing::FakeGui m_gui{m_console};
    TestRuntime m_runtime{m_records, m_gui, m_gui};
    testing::FakeAppServices m_services;
    QTemporaryDir m_folder;
};

TEST_F(DataPatternDialogTest, OpensOnThePortsChoiceWithItsTextShownButLocked) {
    CDataPatternDialog dialog(3, m_runtime, m_services);  // Port3: index 2
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), "Data Pattern");
    EXPECT_TRUE(dialog.Radio(id::kAlphabets)->isChecked());
    EXPECT_FALSE(dialog.Radio(id::kUserPattern)->isChecked());
    EXPECT_EQ(dialog.TextBox()->toPlainText(), "Hello World\n");
    EXPECT_FALSE(dialog.TextBox()->isEnabled());
    EXPECT_TRUE(testing::SaveScreenshot(dialog, "data-pattern"));
}

TEST_F(DataPatternDialogTest, AUserPatternIsStoredWithCrLfLineBreaks) {
    CDataPatternDialog dialog(1, m_runtime, m_services);
    dialog.show();
    QTest::mouseClick(dialog.Radio(id::kUserPattern), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_TRUE(dialog.TextBox()->isEnabled());
    dialog.TextBox()->clear();
    QTest::keyClicks(dialog.TextBox(), "first");
    QTest::keyClick(dialog.TextBox(), Qt::Key_Return);
    QTest::keyClicks(dialog.TextBox(), "second");
    QTest::mouseClick(Button(dialog, res::kIdOk), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(Pattern(0).strUserData, "first\r\nsecond");
    EXPECT_EQ(Pattern(0).nUserData, 1);
    EXPECT_EQ(Pattern(0).nAlpha, 0);

    CDataPatternDialog emptied(1, m_runtime, m_services);
    emptied.TextBox()->clear();
    QTest::mouseClick(Button(emptied, res::kIdOk), Qt::LeftButton);
    EXPECT_EQ(Pattern(0).strUserData, "");
}

TEST_F(DataPatternDialogTest, ThePortsOwnSequenceIsAChoiceOfItsOwnWithTheTextLocked) {
    CDataPatternDialog dialog(2, m_runtime, m_services);
    dialog.show();
    QTest::mouseClick(dialog.Radio(id::kUserPattern), Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseClick(dialog.Radio(id::kSequence), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_FALSE(dialog.TextBox()->isEnabled());
    QTest::mouseClick(Button(dialog, res::kIdOk), Qt::LeftButton);
    EXPECT_EQ(Pattern(1).nPrbs, 1);
    EXPECT_EQ(Pattern(1).nAlpha + Pattern(1).nQuickBrown + Pattern(1).nFile + Pattern(1).nUserData,
              0);

    CDataPatternDialog again(2, m_runtime, m_services);
    EXPECT_TRUE(again.Radio(id::kSequence)->isChecked());
    EXPECT_FALSE(again.Radio(id::kAlphabets)->isChecked());
    QTest::mouseClick(again.Radio(id::kAlphabets), Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseClick(Button(again, res::kIdOk), Qt::LeftButton);
    EXPECT_EQ(Pattern(1).nPrbs, 0);
    EXPECT_EQ(Pattern(1).nAlpha, 1);
}

TEST_F(DataPatternDialogTest, CancelKeepsTheChoiceAndTheText) {
    const PortPatternSettings before = Pattern(4);
    CDataPatternDialog dialog(5, m_runtime, m_services);
    dialog.show();
    QTest::mouseClick(dialog.Radio(id::kUserPattern), Qt::LeftButton, {}, QPoint(5, 5));
    QTest::keyClicks(dialog.TextBox(), "more");
    QTest::mouseClick(Button(dialog, res::kIdCancel), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(Pattern(4), before);
}

TEST_F(DataPatternDialogTest, TheTextRefusesWhatWouldTakeItPast450BytesSent) {
    CDataPatternDialog dialog(1, m_runtime, m_services);
    dialog.show();
    QPlainTextEdit* box = dialog.TextBox();
    QTest::mouseClick(dialog.Radio(id::kUserPattern), Qt::LeftButton, {}, QPoint(5, 5));
    const std::string full = std::string(449, 'a') + "Z";
    box->setPlainText(QString::fromStdString(full));
    auto shown = [box] { return box->toPlainText().toStdString(); };
    auto placeCursor = [box](int position) {
        QTextCursor cursor = box->textCursor();
        cursor.setPosition(position);
        box->setTextCursor(cursor);
    };
    // A keystroke at the start and a paste in the middle are refused whole;
    // the end of the text stays.
    placeCursor(0);
    QTest::keyClick(box, Qt::Key_B);
    EXPECT_EQ(shown(), full);
    QApplication::clipboard()->setText(QStringLiteral("xyz"));
    placeCursor(200);
    QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(shown(), full);
    EXPECT_EQ(box->textCursor().position(), 200);
    QTest::keyClick(box, Qt::Key_Return);  // a line break is two bytes, CR LF
    EXPECT_EQ(shown(), full);
    // Room made by a deletion is taken again.
    QTest::keyClick(box, Qt::Key_Delete);
    QTest::keyClick(box, Qt::Key_B);
    EXPECT_EQ(shown(), std::string(200, 'a') + "b" + std::string(248, 'a') + "Z");

    // Accented letters take two bytes each: 225 of them fill the text, and
    // all 450 bytes are stored.
    box->clear();
    for (int i = 0; i < 226; ++i) {
        QTest::sendKeyEvent(QTest::Click, box, Qt::Key_Eacute, QString(QChar(0xE9)), {});
    }
    const std::string accented = QString(225, QChar(0xE9)).toStdString();
    EXPECT_EQ(shown(), accented);
    QTest::keyClick(box, Qt::Key_A);
    EXPECT_EQ(shown(), accented);
    QTest::mouseClick(Button(dialog, res::kIdOk), Qt::LeftButton);
    EXPECT_EQ(Pattern(0).strUserData, accented);
    EXPECT_EQ(Pattern(0).strUserData.size(), 450u);
}

TEST_F(DataPatternDialogTest, AFileIsReadAtOnceUpTo60000BytesAndClosesTheDialog) {
    const std::string bytes = WriteFile("big.bin", 70000);
    CDataPatternDialog dialog(2, m_runtime, m_services);
    dialog.show();
    QTest::mouseClick(dialog.Radio(id::kFile), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(Pattern(1).nFile, 1);
    EXPECT_EQ(Pattern(1).nAlpha, 0);
    const PortFileData file = m_runtime.File(1);
    EXPECT_EQ(file.nFileLength, 60000);
    EXPECT_EQ(std::string(file.FileData.begin(), file.FileData.end()), bytes.substr(0, 60000));
}

TEST_F(DataPatternDialogTest, ACancelledOrUnreadableFileKeepsTheLastOne) {
    const std::string bytes = WriteFile("first.txt", 100);
    m_runtime.SetFileData(0, std::vector<std::uint8_t>(bytes.begin(), bytes.end()));

    m_services.toSend.clear();
    CDataPatternDialog cancelled(1, m_runtime, m_services);
    cancelled.show();
    QTest::mouseClick(cancelled.Radio(id::kFile), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_TRUE(cancelled.isVisible());  // still open, File chosen
    QTest::mouseClick(Button(cancelled, res::kIdOk), Qt::LeftButton);
    EXPECT_EQ(Pattern(0).nFile, 1);
    EXPECT_EQ(m_runtime.File(0).nFileLength, 100);

    m_services.toSend = m_folder.filePath("missing.txt");
    CDataPatternDialog unreadable(1, m_runtime, m_services);
    unreadable.show();
    QTest::mouseClick(unreadable.Radio(id::kFile), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_TRUE(unreadable.isVisible());
    EXPECT_EQ(m_runtime.File(0).nFileLength, 100);
    ASSERT_EQ(m_messages.Messages().size(), 1u);
    EXPECT_EQ(m_messages.Messages()[0].text,
              "Unable to open the file " + m_services.toSend.toStdString());
    EXPECT_EQ(m_messages.Messages()[0].detail, "No such file or directory");
    EXPECT_EQ(m_messages.Messages()[0].style, 0x30u);

    // A pipe would hang the window until someone writes to it: refused at once.
    testing::Fifo fifo(m_folder.filePath("pipe").toStdString());
    m_services.toSend = QString::fromStdString(fifo.Path());
    CDataPatternDialog piped(1, m_runtime, m_services);
    piped.show();
    QTest::mouseClick(piped.Radio(id::kFile), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_FALSE(fifo.Rescued());
    EXPECT_EQ(m_runtime.File(0).nFileLength, 100);
    ASSERT_EQ(m_messages.Messages().size(), 2u);
    EXPECT_EQ(m_messages.Messages()[1].text, "Unable to open the file " + fifo.Path());
    EXPECT_EQ(m_messages.Messages()[1].detail, "not a regular file");
}

}  // namespace
}  // namespace quorvel
