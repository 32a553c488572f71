#pragma once

#include <QHash>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>

#include "app/CQuorvelApp.h"
#include "test/ThreadExitCounter.h"

class QAction;
class QLabel;
class QToolBar;

namespace quorvel {

// The one document window: it only shows the program's title, and closing it
// leaves it open.
class CChildFrame final : public QMdiSubWindow {
    Q_OBJECT
  public:
    explicit CChildFrame(const QString& title, QWidget* parent = nullptr);

  protected:
    void closeEvent(QCloseEvent* event) override;
};

// The main window: menus, toolbar and status bar around the document window.
// Every command goes to the application object, and every menu item and
// toolbar button is enabled exactly as the application's rule says. It also
// counts the test threads' exit notifications and closes the ports after the
// last one.
class CMainFrame final : public QMainWindow {
    Q_OBJECT
  public:
    CMainFrame(CQuorvelApp& app, AppServices& services, const QString& titleSuffix = QString());

    // The action of a command (shared by its menu item and toolbar button).
    QAction* Action(int command) const { return m_actions.value(command, nullptr); }
    QToolBar* ToolBar() const { return m_toolBar; }
    QMdiArea* MdiArea() const { return m_mdiArea; }
    QLabel* IdleLabel() const { return m_idleLabel; }
    // Brings every action's enabled state in line with the application.
    void UpdateCommandUI();

    ThreadExitCounter m_threadExits;  // GUI thread only

  protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    QAction* MakeAction(int command, const QString& text);
    void BuildMenus();
    void BuildToolBar();
    void BuildStatusBar();
    void OnThreadExit();
    void Run(int command);
    // File > New and File > Open (the accelerators Ctrl+N and Ctrl+O): one
    // more document window, which carries no data; Open does not read the file.
    void OnFileNew();
    void OnFileOpen();
    void AddDocumentWindow(const QString& title);

    CQuorvelApp& m_app;
    AppServices& m_services;
    QMdiArea* m_mdiArea = nullptr;
    QToolBar* m_toolBar = nullptr;
    QLabel* m_idleLabel = nullptr;
    QHash<int, QAction*> m_actions;
    int m_nDocuments = 1;  // document windows made so far, for the next name
};

}  // namespace quorvel
