#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <fstream>
#include <functional>

#include "app/CMainFrame.h"
#include "app/CQuorvelApp.h"
#include "card/SimulatedCard.h"
#include "config/ConfigFile.h"
#include "gui/GuiTestSupport.h"
#include "gui/MainFrameFixture.h"
#include "res/resource.h"
#include "ui/CAboutDialog.h"
#include "ui/QtMessageSink.h"

namespace quorvel {
namespace {

using testing::CommandsOf;
using testing::RecordedMessage;

// The main window on the simulated card.
class MainFrameTest : public testing::MainFrameFixture {
  protected:
    void SetUp() override {
        ASSERT_TRUE(m_card.Start());
        m_card.Install();
        ShowFrame();
    }

    SimulatedCard m_card;
};

TEST_F(MainFrameTest, MenusAndToolbarCarryTheirCommandsInOrder) {
    EXPECT_EQ(testing::MenuTitles(m_frame),
              (QStringList{"&Test", "&Config", "&Setup", "&View", "&Help"}));
    const QList<QAction*> menus = m_frame.menuBar()->actions();
    EXPECT_EQ(
        CommandsOf(menus[0]->menu()->actions()),
        (std::vector<int>{res::kTestStart, res::kTestStop, 0, res::kTestDelay, 0, res::kAppExit}));
    EXPECT_EQ(CommandsOf(menus[1]->menu()->actions()),
              (std::vector<int>{res::kConfigLoad, res::kConfigSave, 0, res::kConfigHelp}));
    EXPECT_EQ(CommandsOf(menus[2]->menu()->actions()), std::vector<int>{res::kPortSettings});
    EXPECT_EQ(CommandsOf(menus[4]->menu()->actions()), std::vector<int>{res::kAppAbout});
    EXPECT_EQ(CommandsOf(m_frame.ToolBar()->actions()),
              (std::vector<int>{res::kPortSettings, res::kTestStart, res::kTestStop,
                                res::kConfigLoad, res::kConfigSave, res::kAppAbout}));
    EXPECT_EQ(menus[0]->menu()->actions()[1]->text(), "Sto&p");
    EXPECT_EQ(m_frame.Action(res::kTestStart)->toolTip(), "Test Start");
    EXPECT_EQ(m_frame.Action(res::kTestStart)->statusTip(),
              "Opens the dialog for testing  the selected serial ports");
    EXPECT_EQ(m_frame.IdleLabel()->text(), "For Help, press F1");
    EXPECT_TRUE(m_frame.windowTitle().contains("Zelk KT4410x/KT2280x UART Series Test Program"));
    EXPECT_TRUE(testing::SaveScreenshot(m_frame, "main-window"));
}

TEST_F(MainFrameTest, StoredValuesReplacedAtStartAreToldInOneMessage) {
    EXPECT_TRUE(m_messages.Messages().empty())
        << m_messages.Shown();  // nothing replaced in a first start
    m_store.values["Version 1.0/m_PortRegistry[0].nBaud"] = 99;
    m_store.values["Version 1.0/m_PortRegistry[0].nRxTrig"] = 62;  // the highest: kept
    m_store.values["Version 1.0/m_PortRegistry[3].nFile"] = 1;
    m_app.LoadRecords();
    EXPECT_EQ(m_app.Records().m_PortRegistry[0].nBaud, 6);
    EXPECT_EQ(m_app.Records().m_PortRegistry[0].nRxTrig, 62);
    EXPECT_EQ(m_app.Records().m_PortPattern[3].nAlpha, 1);
    const RecordedMessage told{
        "Some stored port settings could not be used and were replaced.", "Quorvel", 0x30,
        MessageOwner::MainWindow,
        "m_PortRegistry[0].nBaud = 99 is outside 0 to 13: 6 in its place\n"
        "m_PortRegistry[3].nFile = 1: the file a port sends is not kept from one run to the "
        "next, so Port4 sends the Alphabets line in its place"};
    EXPECT_EQ(m_messages.Messages(), std::vector<RecordedMessage>{told});
}

TEST_F(MainFrameTest, CommandsFollowTheTestThroughStartStopAndCloseAll) {
    auto expectIdle = [&] {
        EXPECT_TRUE(Enabled(res::kTestStart));
        EXPECT_TRUE(Enabled(res::kAppExit));
        EXPECT_FALSE(Enabled(res::kTestStop));
        EXPECT_TRUE(Enabled(res::kPortSettings));
        EXPECT_TRUE(Enabled(res::kConfigLoad));
    };
    auto expectAlways = [&] {
        EXPECT_TRUE(Enabled(res::kConfigSave));
        EXPECT_TRUE(Enabled(res::kTestDelay));
        EXPECT_TRUE(Enabled(res::kConfigHelp));
        EXPECT_TRUE(Enabled(res::kAppAbout));
    };
    expectIdle();
    expectAlways();

    m_frame.Action(res::kTestStart)->trigger();
    EXPECT_FALSE(Enabled(res::kTestStart));
    EXPECT_FALSE(Enabled(res::kAppExit));
    EXPECT_TRUE(Enabled(res::kTestStop));
    EXPECT_FALSE(Enabled(res::kPortSettings));
    EXPECT_FALSE(Enabled(res::kConfigLoad));
    expectAlways();
    // The main window does not close while a test runs or stops, and says
    // why and what to do.
    auto refused = [](const char* text) {
        return RecordedMessage{text, "Quorvel", 0x30, MessageOwner::MainWindow};
    };
    m_frame.close();
    EXPECT_TRUE(m_frame.isVisible());
    EXPECT_EQ(m_messages.Messages(),
              std::vector<RecordedMessage>{refused(CMainFrame::kCloseWhileTestRuns)});
    EXPECT_NE(std::string(CMainFrame::kCloseWhileTestRuns).find("Test > Stop"), std::string::npos);

    m_frame.Action(res::kTestStop)->trigger();
    EXPECT_TRUE(Enabled(res::kTestStop));  // stopping: until the last thread has ended
    EXPECT_FALSE(Enabled(res::kTestStart));
    m_frame.close();
    EXPECT_TRUE(m_frame.isVisible());
    EXPECT_EQ(m_messages.Messages(),
              (std::vector<RecordedMessage>{refused(CMainFrame::kCloseWhileTestRuns),
                                            refused(CMainFrame::kCloseWhileTestStops)}));
    ASSERT_TRUE(testing::ProcessEventsUntil([&] { return Enabled(res::kTestStart); }));
    expectIdle();
    expectAlways();
    EXPECT_EQ(m_app.Runtime().ThreadExitsCounted(), 0);
    EXPECT_EQ(m_messages.Messages().size(), 2u);
}

TEST_F(MainFrameTest, AnExitDuringATestStopsItFirst) {
    m_frame.Action(res::kTestStart)->trigger();
    ASSERT_TRUE(m_app.Runtime().TestRunning());
    EXPECT_EQ(m_app.ExitInstance(0), 0);
    EXPECT_TRUE(m_app.Runtime().StartEnabled());
    EXPECT_FALSE(m_app.Runtime().Handle(0));
    EXPECT_EQ(m_store.values.at("Version 1.0/m_PortRegistry[0].nPortOpen"), 1);
}

TEST_F(MainFrameTest, ConfigSaveAndLoadGoThroughTheFileChooser) {
    QTemporaryDir folder;
    m_services.chosen = folder.filePath("bench.txt");
    m_app.Records().m_PortRegistry[0].nBaud = 10;
    m_frame.Action(res::kConfigSave)->trigger();
    std::ifstream saved(m_services.chosen.toStdString());
    std::string first;
    std::getline(saved, first);
    EXPECT_EQ(first, "SERIAL0 10 3 4 0 2 3 0 1 2 0 2 0 1 0 3");

    m_app.Records().m_PortRegistry[0].nBaud = 2;
    m_frame.Action(res::kConfigLoad)->trigger();
    EXPECT_EQ(m_app.Records().m_PortRegistry[0].nBaud, 10);

    m_services.chosen.clear();  // the operator cancels: nothing happens
    m_app.Records().m_PortRegistry[0].nBaud = 2;
    m_frame.Action(res::kConfigLoad)->trigger();
    EXPECT_EQ(m_app.Records().m_PortRegistry[0].nBaud, 2);
    EXPECT_TRUE(m_messages.Messages().empty()) << m_messages.Shown();
}

TEST(ConfigFileChooser, StartsOnStarDotTxtWithTheTextAndAllFilesFilters) {
    DesktopServices services;
    QObject watch;
    for (const bool save : {false, true}) {
        QStringList filters;
        QString name;
        QString suffix;
        bool saving = false;
        testing::WhenShown<QFileDialog>(watch, [&](QFileDialog& dialog) {
            filters = dialog.nameFilters();
            name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->text();
            suffix = dialog.defaultSuffix();
            saving = dialog.acceptMode() == QFileDialog::AcceptSave;
            dialog.reject();
        });
        const QString chosen =
            save ? services.ChooseFileToSave(nullptr) : services.ChooseFileToLoad(nullptr);
        EXPECT_TRUE(chosen.isEmpty());  // not confirmed
        EXPECT_EQ(filters, (QStringList{"Text files (*.txt)", "All files (*.*)"}));
        EXPECT_EQ(name, "*.txt");
        EXPECT_EQ(suffix, "txt");
        EXPECT_EQ(saving, save);
    }
}

TEST(ConfigFileChooser, ATypedNameGetsTxtUnderTheTextFilterAndIsTakenAsTypedUnderAllFiles) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    for (const char* name : {"ports", "other.txt"}) {
        std::ofstream(folder.filePath(QString::fromLatin1(name)).toStdString()) << "x";
    }
    DesktopServices services;
    QObject watch;
    // Types `name` into the chooser as the operator does, with the filter
    // chosen from the list first when `allFiles`, and presses Enter.
    auto typed = [&](const QString& name, bool allFiles) {
        testing::WhenShown<QFileDialog>(watch, [&](QFileDialog& dialog) {
            if (allFiles) {
                auto* filters = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
                filters->setCurrentIndex(1);
                emit filters->activated(1);
            }
            // A name the chooser does not find brings a message of its own.
            testing::WhenShown<QMessageBox>(dialog, [](QMessageBox& box) { box.reject(); });
            auto* edit = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            edit->setText(name);
            QTest::keyClick(edit, Qt::Key_Return);
            if (dialog.isVisible()) {
                dialog.reject();  // the name was not taken: the test fails on the result
            }
        });
        return services.ChooseFileToLoad(nullptr);
    };
    EXPECT_EQ(typed(folder.filePath("other"), false), folder.filePath("other.txt"));
    EXPECT_EQ(typed(folder.filePath("ports"), true), folder.filePath("ports"));
    EXPECT_EQ(typed(QStringLiteral("/dev/zero"), true), QStringLiteral("/dev/zero"));
}

TEST_F(MainFrameTest, MessageBoxesShowTheReasonAndTheSystemsDefaultTitle) {
    QtMessageSink boxes;
    boxes.SetMainWindow(&m_frame);
    InstallMessageSink(&boxes);
    // Port1 asks for RS485, which the card has only on Port7 and Port8; Port2
    // is on COM99, which no device answers for.
    m_app.Records().m_PortRegistry[0].nRS485 = 1;
    m_app.Records().m_PortRegistry[1].nPortOpen = 1;
    m_app.Records().m_PortRegistry[1].nComBase = 98;
    struct Shown {
        QString title, text, detail;
        QWidget* owner;
        QMessageBox::Icon icon;
    };
    std::vector<Shown> shown;
    QObject watch;
    std::function<void(QMessageBox&)> answer = [&](QMessageBox& box) {
        shown.push_back(
            {box.windowTitle(), box.text(), box.informativeText(), box.parentWidget(), box.icon()});
        if (shown.size() == 2) {
            EXPECT_TRUE(testing::SaveScreenshot(box, "port-open-failure"));
        } else {
            testing::WhenShown<QMessageBox>(watch, answer);  // the next one
        }
        box.button(QMessageBox::Ok)->click();
    };
    testing::WhenShown<QMessageBox>(watch, answer);
    m_frame.Action(res::kTestStart)->trigger();
    InstallMessageSink(&m_messages);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].title, "Error");  // no caption of its own, and no owner
    EXPECT_EQ(shown[0].text, "Unable to pass data into driver");
    EXPECT_EQ(shown[0].detail, "");
    EXPECT_EQ(shown[0].owner, nullptr);
    EXPECT_EQ(shown[0].icon, QMessageBox::NoIcon);
    EXPECT_EQ(shown[1].title, "ERROR");
    EXPECT_EQ(shown[1].text, "Unable to open the communication port COM99");
    EXPECT_EQ(shown[1].detail.toStdString(), m_app.Runtime().OpenFailure(1).Detail());
    EXPECT_TRUE(shown[1].detail.contains("No such file or directory"));
    EXPECT_EQ(shown[1].owner, &m_frame);
    EXPECT_EQ(shown[1].icon, QMessageBox::Warning);
}

TEST_F(MainFrameTest, ConfigHelpOpensItsDocumentOrSaysItIsMissing) {
    QTemporaryDir folder;
    const QString previous = QDir::currentPath();
    QDir::setCurrent(folder.path());
    m_frame.Action(res::kConfigHelp)->trigger();
    EXPECT_EQ(m_messages.Messages(),
              (std::vector<RecordedMessage>{
                  {"The configuration help file for Serial driver user interface is missing",
                   "Error", 0x30, MessageOwner::MainWindow}}));
    EXPECT_TRUE(m_services.opened.isEmpty());

    std::ofstream(folder.filePath("QuorvelConfig.doc").toStdString()) << "help";
    m_frame.Action(res::kConfigHelp)->trigger();
    EXPECT_EQ(m_services.opened, QStringList{QDir(folder.path()).filePath("QuorvelConfig.doc")});
    EXPECT_EQ(m_messages.Messages().size(), 1u);
    QDir::setCurrent(previous);
}

TEST_F(MainFrameTest, TheDocumentWindowStaysOpen) {
    ASSERT_EQ(m_frame.MdiArea()->subWindowList().size(), 1);
    QMdiSubWindow* document = m_frame.MdiArea()->subWindowList().constFirst();
    EXPECT_EQ(document->windowTitle(), "Zelk KT4410x/KT2280x UART Series Test Program");
    document->close();
    QApplication::processEvents();
    EXPECT_EQ(m_frame.MdiArea()->subWindowList().size(), 1);
    EXPECT_TRUE(document->isVisible());

    // Ctrl+N opens another empty document window, Ctrl+O one named after a file.
    m_frame.Action(res::kFileNew)->trigger();
    m_services.chosen = QStringLiteral("/tmp/bench-notes.txt");
    m_frame.Action(res::kFileOpen)->trigger();
    m_services.chosen.clear();
    m_frame.Action(res::kFileOpen)->trigger();  // cancelled
    QStringList titles;
    for (const QMdiSubWindow* window : m_frame.MdiArea()->subWindowList()) {
        titles << window->windowTitle();
    }
    EXPECT_EQ(titles, (QStringList{"Zelk KT4410x/KT2280x UART Series Test Program", "Serial2",
                                   "bench-notes.txt"}));
    EXPECT_EQ(m_frame.Action(res::kFileNew)->shortcut(), QKeySequence("Ctrl+N"));
}

TEST(AboutDialog, ShowsTheProgramsNameVersionAndIcon) {
    CAboutDialog about;
    about.show();
    EXPECT_EQ(about.windowTitle(), "About Quorvel");
    QStringList texts;
    bool hasIcon = false;
    for (const QLabel* label : about.findChildren<QLabel*>()) {
        texts << label->text();
        hasIcon = hasIcon || !label->pixmap().isNull();
    }
    EXPECT_TRUE(texts.contains("KT4410x/KT2280x UART Series Test Program"));
    EXPECT_TRUE(texts.contains("Version 1.16"));
    EXPECT_TRUE(hasIcon);
    EXPECT_TRUE(testing::SaveScreenshot(about, "about"));
}

}  // namespace
}  // namespace quorvel
