#pragma once

#include <QHash>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <array>
#include <vector>

#include "app/CQuorvelApp.h"
#include "app/FrameStatusBar.h"
#include "app/PrintCommands.h"
#include "res/Menus.h"
#include "ui/CHelpWindow.h"
#include "ui/CStatisticsDialog.h"

class QAction;
class QToolBar;

namespace quorvel {

// A document window: it only shows a title, and closing it leaves it open.
class CChildFrame final : public QMdiSubWindow {
    Q_OBJECT
  public:
    explicit CChildFrame(const QString& title, QWidget* parent = nullptr);

  protected:
    void closeEvent(QCloseEvent* event) override;
};

// The main window: menus, toolbar and status bar around the document windows.
// Every command of the program's own goes to the application object, and
// every menu item and toolbar button is enabled exactly as the application's
// rule says. The frame itself runs the shell's commands (documents, the
// recent-file list, printing, help) and counts the test threads' exit
// notifications, closing the ports after the last one.
class CMainFrame final : public QMainWindow {
    Q_OBJECT
  public:
    CMainFrame(CQuorvelApp& app, AppServices& services, const QString& titleSuffix = QString());

    // The action of a command (shared by its menu item, toolbar button and
    // accelerator); null for a command the frame does not have.
    QAction* Action(int command) const { return m_actions.value(command, nullptr); }
    // The recent-file entries of menu 128, 57616 first.
    const std::array<QAction*, RecentFileList::kDefaultSize>& RecentFileActions() const {
        return m_recentActions;
    }
    QToolBar* ToolBar() const { return m_toolBar; }
    QMdiArea* MdiArea() const { return m_mdiArea; }
    FrameStatusBar* StatusBar() const { return m_statusBar; }
    QLabel* IdleLabel() const { return m_statusBar->IdleLabel(); }
    // F1's window, once F1 has been pressed.
    CHelpWindow* HelpWindow() const { return m_helpWindow; }
    // Brings every action's enabled state in line with the application.
    void UpdateCommandUI();
    // View > Test Statistics: shows the statistics window, made at the first call.
    void ShowStatistics();
    CStatisticsDialog* Statistics() const { return m_statistics; }

    // What closing the window during a test says (caption kProgramCaption).
    static constexpr const char* kCloseWhileTestRuns =
        "Quorvel cannot close while a test runs: its ports are open. Choose Test > Stop first, "
        "then close Quorvel.";
    static constexpr const char* kCloseWhileTestStops =
        "Quorvel cannot close while the test is stopping. Close it again in a moment, once the "
        "test's ports are closed.";
    static constexpr const char* kProgramCaption = "Quorvel";

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QAction* MakeAction(int command, const QString& text);
    void MakeRecentFileActions();
    void MakeShellActions();
    void BindAccelerators();
    // Menu 129 while a document window is open, menu 128 when none is.
    void ShowMenuForDocuments();
    void BuildMenus(const std::vector<res::MenuItem>& menu);
    void BuildToolBar();
    void BuildStatusBar();
    void OnThreadExit();
    void Run(int command);
    bool RunShellCommand(int command);
    // File > New and File > Open: one more document window, which carries no
    // data; Open does not read the file but puts it on the recent-file list.
    void OnFileNew();
    void OnFileOpen();
    void OnOpenRecentFile(int index);
    void RefreshRecentFiles();
    void AddDocumentWindow(const QString& title);
    // Stacks the document windows one above the other, each the client
    // area's full width: with one, it fills the area.
    void TileHorizontally();
    void OnHelp();
    void OnContextHelp();
    void RefreshLockIndicators();

    CQuorvelApp& m_app;
    AppServices& m_services;
    PrintCommands m_print;
    QMdiArea* m_mdiArea = nullptr;
    QToolBar* m_toolBar = nullptr;
    FrameStatusBar* m_statusBar = nullptr;
    QPointer<CHelpWindow> m_helpWindow;
    QPointer<CStatisticsDialog> m_statistics;
    QHash<int, QAction*> m_actions;
    std::array<QAction*, RecentFileList::kDefaultSize> m_recentActions{};
    int m_menuShown = 0;   // resource ID of the menu on the bar
    int m_nDocuments = 0;  // document windows made so far, for the next name
};

}  // namespace quorvel
