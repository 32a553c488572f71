// The shell around the test tool: document windows and their menu, the
// recent-file list, printing, help and the status bar's lock indicators.
#include <gtest/gtest.h>

#include <QFile>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QWhatsThis>

#include "gui/GuiTestSupport.h"
#include "gui/MainFrameFixture.h"
#include "res/resource.h"
#include "ui/Icons.h"

namespace quorvel {
namespace {

using testing::CommandsOf;
using testing::MenuTitles;
using testing::RecordedMessage;

QMenu* MenuTitled(CMainFrame& frame, const QString& title) {
    for (QAction* menu : frame.menuBar()->actions()) {
        if (menu->text() == title) {
            return menu->menu();
        }
    }
    return nullptr;
}

QByteArray FileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Whether `path` holds a PDF document of exactly one page.
bool IsOnePagePdf(const QString& path) {
    const QByteArray pdf = FileBytes(path);
    return pdf.startsWith("%PDF") && pdf.contains("/Count 1") && !pdf.contains("/Count 2");
}

class ShellCommandsTest : public testing::MainFrameFixture {
  protected:
    void SetUp() override {
        ASSERT_TRUE(m_folder.isValid());
        ShowFrame();
        m_frame.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&m_frame));
        m_services.printFile = m_folder.filePath(QStringLiteral("print.pdf"));
    }

    // Makes a file in the test's folder and returns its full path.
    QString MakeFile(const QString& name) {
        const QString path = m_folder.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        return path;
    }

    void OpenDocument(const QString& path) {
        m_services.chosen = path;
        m_frame.Action(res::kFileOpen)->trigger();
    }

    // Ends every document window, as only the end of the program does.
    void EndAllDocuments() {
        for (QMdiSubWindow* window : m_frame.MdiArea()->subWindowList()) {
            delete window;
        }
        QApplication::processEvents();
    }

    QStringList RecentFileTexts() const {
        QStringList texts;
        for (const QAction* action : m_frame.RecentFileActions()) {
            if (action->isVisible()) {
                texts << action->text() + (action->isEnabled() ? "" : " (grayed)");
            }
        }
        return texts;
    }

    QTemporaryDir m_folder;
};

TEST_F(ShellCommandsTest, WithNoDocumentWindowTheFramesOwnMenuIsShown) {
    EndAllDocuments();
    EXPECT_EQ(MenuTitles(m_frame), (QStringList{"&File", "&View", "&Help"}));
    EXPECT_EQ(CommandsOf(MenuTitled(m_frame, "&File")->actions()),
              (std::vector<int>{res::kFileNew, res::kFileOpen, 0, res::kFilePrintSetup, 0,
                                res::kFileMru1, res::kFileMru1 + 1, res::kFileMru1 + 2,
                                res::kFileMru1 + 3, 0, res::kAppExit}));
    EXPECT_EQ(RecentFileTexts(), QStringList{"Recent File (grayed)"});

    // Ctrl+N brings a document window back, and with it the document's menu.
    QTest::keyClick(&m_frame, Qt::Key_N, Qt::ControlModifier);
    QApplication::processEvents();
    ASSERT_EQ(m_frame.MdiArea()->subWindowList().size(), 1);
    EXPECT_EQ(MenuTitles(m_frame), (QStringList{"&Test", "&Config", "&Setup", "&View", "&Help"}));
}

TEST_F(ShellCommandsTest, TheRecentFileListKeepsTheLastFourOpenedAndSurvivesARestart) {
    QStringList paths;
    for (const char* name : {"one.txt", "two.txt", "th&ree.txt", "four.txt", "five.txt"}) {
        paths << MakeFile(QString::fromLatin1(name));
        OpenDocument(paths.last());
    }
    auto shown = [](int number, const QString& path) {
        QString text = QDir::toNativeSeparators(path);
        return QStringLiteral("&%1 %2").arg(number).arg(text.replace("&", "&&"));
    };
    EXPECT_EQ(RecentFileTexts(), (QStringList{shown(1, paths[4]), shown(2, paths[3]),
                                              shown(3, paths[2]), shown(4, paths[1])}));
    EXPECT_EQ(m_frame.MdiArea()->subWindowList().constLast()->windowTitle(), "five.txt");

    // Choosing an entry opens that file as a document and moves it to the top.
    m_frame.RecentFileActions()[2]->trigger();
    EXPECT_EQ(m_frame.MdiArea()->subWindowList().constLast()->windowTitle(), "th&ree.txt");
    EXPECT_EQ(RecentFileTexts()[0], shown(1, paths[2]));

    // A file that has gone since is reported and taken off the list.
    QFile::remove(paths[3]);
    m_frame.RecentFileActions()[2]->trigger();
    EXPECT_EQ(m_messages.Messages(),
              (std::vector<RecordedMessage>{
                  {("Unable to open the file " + QDir::toNativeSeparators(paths[3])).toStdString(),
                   "Error", 0x30, MessageOwner::MainWindow}}));
    EXPECT_EQ(RecentFileTexts(),
              (QStringList{shown(1, paths[2]), shown(2, paths[4]), shown(3, paths[1])}));

    // The next start reads the same list from the profile.
    CQuorvelApp nextRun(m_store, m_console, m_services);
    ASSERT_EQ(nextRun.RecentFiles().Paths().size(), 3u);
    EXPECT_EQ(QString::fromStdString(nextRun.RecentFiles().Paths()[0]), paths[2]);
}

TEST_F(ShellCommandsTest, PrintingTheEmptyViewGivesOnePageOnThePrinterPrintSetupChose) {
    // Ctrl+P asks for the printer and prints one empty page.
    QTest::keyClick(&m_frame, Qt::Key_P, Qt::ControlModifier);
    EXPECT_EQ(m_services.printDialogs, 1);
    EXPECT_TRUE(IsOnePagePdf(m_services.printFile));
    EXPECT_EQ(m_services.orientationAtPrint, QPageLayout::Portrait);

    // Print Setup's choice holds for the next print.
    m_frame.Action(res::kFilePrintSetup)->trigger();
    QFile::remove(m_services.printFile);
    m_frame.Action(res::kFilePrint)->trigger();
    EXPECT_EQ(m_services.orientationAtPrint, QPageLayout::Landscape);
    EXPECT_TRUE(IsOnePagePdf(m_services.printFile));

    // Print Direct uses that printer without asking; Print Preview draws the page.
    QFile::remove(m_services.printFile);
    m_frame.Action(res::kFilePrintDirect)->trigger();
    EXPECT_EQ(m_services.printDialogs, 2);
    EXPECT_TRUE(IsOnePagePdf(m_services.printFile));
    QFile::remove(m_services.printFile);
    m_frame.Action(res::kFilePrintPreview)->trigger();
    EXPECT_EQ(m_services.previews, 1);
    EXPECT_TRUE(IsOnePagePdf(m_services.printFile));

    // Cancelled, nothing is printed; a printer that cannot start is reported.
    QFile::remove(m_services.printFile);
    m_services.printerConfirmed = false;
    m_frame.Action(res::kFilePrint)->trigger();
    EXPECT_FALSE(QFile::exists(m_services.printFile));
    EXPECT_TRUE(m_messages.Messages().empty()) << m_messages.Shown();
    m_services.printerConfirmed = true;
    m_services.printFile = m_folder.filePath(QStringLiteral("no-such-folder/print.pdf"));
    m_frame.Action(res::kFilePrint)->trigger();
    EXPECT_EQ(m_messages.Messages(),
              (std::vector<RecordedMessage>{
                  {"Unable to print the document", "Error", 0x30, MessageOwner::MainWindow}}));
}

TEST_F(ShellCommandsTest, F1ShowsTheCommandsAndShiftF1AsksForAClick) {
    QTest::keyClick(&m_frame, Qt::Key_F1);
    ASSERT_NE(m_frame.HelpWindow(), nullptr);
    EXPECT_TRUE(m_frame.HelpWindow()->isVisible());
    const QString help = CHelpWindow::CommandHelpHtml();
    EXPECT_TRUE(help.contains("Config &gt; Load: Loads the Port configuration from a file"));
    EXPECT_TRUE(help.contains("Setup &gt; Port Settings: Opens a tabbed dialog"));
    EXPECT_TRUE(help.contains("Test &gt; Delay: Sets the pause in milliseconds"));
    // What the program does, not what a prompt of the string table says.
    EXPECT_FALSE(help.contains("prompts to save documents"));
    EXPECT_TRUE(help.contains("Test &gt; Exit: Ends Quorvel and saves the port settings"));
    EXPECT_TRUE(help.contains("Ports Properties"));
    EXPECT_TRUE(help.contains("Enable: whether the port's sent and received text is shown"));
    EXPECT_EQ(m_frame.Action(res::kAppExit)->whatsThis(), CHelpWindow::WhatItDoes(res::kAppExit));
    EXPECT_EQ(m_frame.Action(res::kAppExit)->statusTip(),
              "Quit the application; prompts to save documents");  // the status bar's own
    EXPECT_TRUE(testing::SaveScreenshot(*m_frame.HelpWindow(), "help"));
    m_frame.HelpWindow()->hide();
    QTest::keyClick(&m_frame, Qt::Key_F1);  // the same window comes back
    EXPECT_EQ(m_frame.findChildren<CHelpWindow*>().size(), 1);

    m_frame.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&m_frame));
    QTest::keyClick(&m_frame, Qt::Key_F1, Qt::ShiftModifier);
    EXPECT_TRUE(QWhatsThis::inWhatsThisMode());
    QWhatsThis::leaveWhatsThisMode();
    // What a click on a toolbar button then says is its prompt.
    auto* startButton = qobject_cast<QToolButton*>(
        m_frame.ToolBar()->widgetForAction(m_frame.Action(res::kTestStart)));
    ASSERT_NE(startButton, nullptr);
    EXPECT_EQ(startButton->whatsThis(), "Opens the dialog for testing  the selected serial ports");
}

TEST_F(ShellCommandsTest, LockIndicatorsLightWhileTheirLockIsOn) {
    auto lit = [&] {
        QStringList on;
        for (int id : {res::kIndicatorCaps, res::kIndicatorNum, res::kIndicatorScroll}) {
            QLabel* indicator = m_frame.StatusBar()->Indicator(id);
            if (indicator->isEnabled()) {
                on << indicator->text();
            }
        }
        return on;
    };
    EXPECT_TRUE(lit().isEmpty());  // the desktop does not say: all grey

    m_services.locks = KeyboardLocks{true, false, true};
    QTest::keyClick(&m_frame, Qt::Key_CapsLock);
    EXPECT_EQ(lit(), (QStringList{"CAP", "SCRL"}));
    m_services.locks = KeyboardLocks{false, true, false};
    QTest::keyClick(&m_frame, Qt::Key_NumLock);
    EXPECT_EQ(lit(), QStringList{"NUM"});
    m_services.locks.reset();
    QTest::keyClick(&m_frame, Qt::Key_ScrollLock);
    EXPECT_TRUE(lit().isEmpty());
}

TEST_F(ShellCommandsTest, DocumentWindowsAreStackedAcrossTheWholeClientArea) {
    m_frame.Action(res::kFileNew)->trigger();
    m_frame.Action(res::kFileNew)->trigger();
    auto expectTiled = [&] {
        const QRect area = m_frame.MdiArea()->viewport()->rect();
        int top = area.top();
        for (const QMdiSubWindow* window : m_frame.MdiArea()->subWindowList()) {
            EXPECT_EQ(window->geometry().left(), area.left());
            EXPECT_EQ(window->geometry().width(), area.width());
            EXPECT_EQ(window->geometry().top(), top);
            top = window->geometry().bottom() + 1;
        }
        EXPECT_EQ(top, area.bottom() + 1);
    };
    expectTiled();
    m_frame.Action(res::kViewToolbar)->trigger();  // hides the toolbar
    QApplication::processEvents();
    EXPECT_FALSE(m_frame.ToolBar()->isVisible());
    expectTiled();
    m_frame.resize(700, 500);
    QApplication::processEvents();
    expectTiled();
}

TEST_F(ShellCommandsTest, ToolbarPicturesComeFromTheResources) {
    for (int command : res::ToolbarButtons()) {
        SCOPED_TRACE(command);
        ASSERT_FALSE(ToolbarIconPath(command).isEmpty());
        EXPECT_TRUE(QFile::exists(ToolbarIconPath(command)));
        EXPECT_EQ(m_frame.Action(command)->icon().pixmap(15, 14).size(), QSize(15, 14));
    }
    EXPECT_FALSE(ProgramIcon().pixmap(32).isNull());
}

}  // namespace
}  // namespace quorvel
