#include "app/CMainFrame.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenuBar>
#include <QToolBar>
#include <QWhatsThis>
#include <map>

#include "core/MessageSink.h"
#include "res/resource.h"
#include "ui/CQuorvelView.h"
#include "ui/Icons.h"

namespace quorvel {
namespace {

// A menu text's shortcut part (after the tab) as Qt writes it.
QString ShortcutOf(const QString& text) {
    const qsizetype tab = text.indexOf(QLatin1Char('\t'));
    return tab < 0 ? QString() : text.mid(tab + 1);
}

// The view's printing commands and the help commands: they have no menu
// item in either menu, only accelerators or nothing.
const std::vector<res::MenuItem>& CommandsWithoutMenuItems() {
    static const std::vector<res::MenuItem> kCommands{
        {res::kFilePrint, "&Print...", {}},
        {res::kFilePrintDirect, "Print Direct", {}},
        {res::kFilePrintPreview, "Print Pre&view", {}},
        {res::kHelp, "Help", {}},
        {res::kContextHelp, "What's This", {}},
        {res::kHelpIndex, "Help Index", {}},
        {res::kHelpFinder, "Help Topics", {}},
    };
    return kCommands;
}

bool IsLockKey(const QEvent* event) {
    const int key = static_cast<const QKeyEvent*>(event)->key();
    return key == Qt::Key_CapsLock || key == Qt::Key_NumLock || key == Qt::Key_ScrollLock;
}

}  // namespace

CChildFrame::CChildFrame(const QString& title, QWidget* parent) : QMdiSubWindow(parent) {
    setWidget(new CQuorvelView(this));
    setWindowTitle(title);
    setWindowIcon(ProgramIcon());
}

void CChildFrame::closeEvent(QCloseEvent* event) {
    event->ignore();
}

CMainFrame::CMainFrame(CQuorvelApp& app, AppServices& services, const QString& titleSuffix)
    : m_app(app), m_services(services), m_print(services) {
    setWindowTitle(QString::fromLatin1(res::kMainTitle) + QStringLiteral(" - ") +
                   QString::fromLatin1(res::kDocumentTitle) + titleSuffix);
    setWindowIcon(ProgramIcon());
    m_mdiArea = new QMdiArea(this);
    setCentralWidget(m_mdiArea);
    // The document windows always fill the client area, however it changes.
    m_mdiArea->viewport()->installEventFilter(this);
    MakeShellActions();
    MakeRecentFileActions();
    BindAccelerators();
    AddDocumentWindow(QString::fromLatin1(res::kDocumentTitle));
    BuildToolBar();
    BuildStatusBar();
    connect(&m_app, &CQuorvelApp::threadExited, this, &CMainFrame::OnThreadExit,
            Qt::QueuedConnection);
    connect(&m_app, &CQuorvelApp::commandStateChanged, this, &CMainFrame::UpdateCommandUI);
    m_app.SetMainWindow(this);
    // The lock indicators follow the lock keys, and whatever changed while
    // another program had the keyboard.
    qApp->installEventFilter(this);
    connect(qGuiApp, &QGuiApplication::applicationStateChanged, this,
            &CMainFrame::RefreshLockIndicators);
    RefreshLockIndicators();
    UpdateCommandUI();
}

QAction* CMainFrame::MakeAction(int command, const QString& text) {
    if (QAction* existing = m_actions.value(command, nullptr)) {
        return existing;
    }
    auto* action = new QAction(text.section(QLatin1Char('\t'), 0, 0), this);
    action->setData(command);
    const res::Prompt prompt = res::PromptOf(command);
    action->setStatusTip(QString::fromStdString(prompt.status));
    action->setWhatsThis(CHelpWindow::WhatItDoes(command));
    if (!prompt.tooltip.empty()) {
        action->setToolTip(QString::fromStdString(prompt.tooltip));
    }
    if (const QString keys = ShortcutOf(text); !keys.isEmpty()) {
        action->setShortcut(QKeySequence(keys));
    }
    connect(action, &QAction::triggered, this, [this, command] { Run(command); });
    addAction(action);  // its accelerator works whichever menu is shown
    m_actions.insert(command, action);
    return action;
}

void CMainFrame::MakeShellActions() {
    for (const auto* menu : {&res::DocumentMenu(), &res::MainFrameMenu()}) {
        for (const res::MenuItem& popup : *menu) {
            for (const res::MenuItem& item : popup.items) {
                if (!item.IsSeparator() && item.command != res::kFileMru1) {
                    MakeAction(item.command, QString::fromStdString(item.text));
                }
            }
        }
    }
    for (const res::MenuItem& item : CommandsWithoutMenuItems()) {
        MakeAction(item.command, QString::fromStdString(item.text));
    }
}

void CMainFrame::MakeRecentFileActions() {
    for (std::size_t i = 0; i < m_recentActions.size(); ++i) {
        auto* action = new QAction(this);
        action->setData(res::kFileMru1 + static_cast<int>(i));
        action->setStatusTip(QStringLiteral("Open this document"));
        connect(action, &QAction::triggered, this,
                [this, i] { OnOpenRecentFile(static_cast<int>(i)); });
        m_recentActions[i] = action;
    }
    RefreshRecentFiles();
}

void CMainFrame::BindAccelerators() {
    // Keys of commands this program has no handler for (save, the edit
    // commands, the panes) are left to the focused control.
    std::map<int, QList<QKeySequence>> keys;
    for (const res::Accelerator& accelerator : res::Accelerators()) {
        if (m_actions.contains(accelerator.command)) {
            keys[accelerator.command] << QKeySequence(QString::fromStdString(accelerator.keys));
        }
    }
    for (const auto& [command, sequences] : keys) {
        m_actions.value(command)->setShortcuts(sequences);
    }
}

void CMainFrame::ShowMenuForDocuments() {
    const int wanted = m_mdiArea->subWindowList().isEmpty() ? res::kMainFrame : res::kDocTemplate;
    if (wanted != m_menuShown) {
        BuildMenus(wanted == res::kMainFrame ? res::MainFrameMenu() : res::DocumentMenu());
        m_menuShown = wanted;
    }
}

void CMainFrame::BuildMenus(const std::vector<res::MenuItem>& menus) {
    for (QMenu* old : menuBar()->findChildren<QMenu*>(Qt::FindDirectChildrenOnly)) {
        delete old;
    }
    for (const res::MenuItem& popup : menus) {
        QMenu* menu = menuBar()->addMenu(QString::fromStdString(popup.text));
        connect(menu, &QMenu::aboutToShow, this, [this] {
            RefreshRecentFiles();
            UpdateCommandUI();
        });
        for (const res::MenuItem& item : popup.items) {
            if (item.IsSeparator()) {
                menu->addSeparator();
            } else if (item.command == res::kFileMru1) {
                for (QAction* recent : m_recentActions) {
                    menu->addAction(recent);
                }
            } else {
                menu->addAction(m_actions.value(item.command));
            }
        }
    }
}

void CMainFrame::BuildToolBar() {
    m_toolBar = new QToolBar(QStringLiteral("Standard"), this);
    m_toolBar->setObjectName(QStringLiteral("id%1").arg(res::kViewToolbar));
    m_toolBar->setIconSize(QSize(15, 14));
    m_toolBar->setAllowedAreas(Qt::AllToolBarAreas);
    m_toolBar->setMovable(true);
    for (int command : res::ToolbarButtons()) {
        QAction* action = m_actions.value(command, nullptr);
        action->setIcon(ToolbarIcon(command));
        m_toolBar->addAction(action);
    }
    addToolBar(Qt::TopToolBarArea, m_toolBar);

    QAction* toolbarToggle = m_actions.value(res::kViewToolbar);
    toolbarToggle->setCheckable(true);
    toolbarToggle->setChecked(true);
    connect(toolbarToggle, &QAction::toggled, m_toolBar, &QToolBar::setVisible);
    connect(m_toolBar, &QToolBar::visibilityChanged, toolbarToggle, &QAction::setChecked);
}

void CMainFrame::BuildStatusBar() {
    m_statusBar = new FrameStatusBar(this);
    setStatusBar(m_statusBar);
    QAction* statusToggle = m_actions.value(res::kViewStatusBar);
    statusToggle->setCheckable(true);
    statusToggle->setChecked(true);
    connect(statusToggle, &QAction::toggled, m_statusBar, &QStatusBar::setVisible);
}

void CMainFrame::Run(int command) {
    if (!RunShellCommand(command)) {
        m_app.OnCommand(command);
    }
    UpdateCommandUI();
}

bool CMainFrame::RunShellCommand(int command) {
    switch (command) {
        case res::kViewToolbar:
        case res::kViewStatusBar:
            break;  // their toggled signal does the work
        case res::kAppExit:
            close();
            break;
        case res::kFileNew:
            OnFileNew();
            break;
        case res::kFileOpen:
            OnFileOpen();
            break;
        case res::kFilePrintSetup:
            m_print.OnFilePrintSetup(this);
            break;
        case res::kFilePrint:
            m_print.OnFilePrint(this);
            break;
        case res::kFilePrintDirect:
            m_print.OnFilePrintDirect(this);
            break;
        case res::kFilePrintPreview:
            m_print.OnFilePrintPreview(this);
            break;
        case res::kHelp:
        case res::kHelpIndex:
        case res::kHelpFinder:
            OnHelp();
            break;
        case res::kContextHelp:
            OnContextHelp();
            break;
        case res::kViewStatistics:
            ShowStatistics();
            break;
        default:
            return false;
    }
    return true;
}

void CMainFrame::ShowStatistics() {
    if (!m_statistics) {
        m_statistics = new CStatisticsDialog(m_app.Runtime(), m_services, this);
    }
    m_statistics->show();
    m_statistics->raise();
    m_statistics->activateWindow();
}

void CMainFrame::AddDocumentWindow(const QString& title) {
    auto* document = new CChildFrame(title);
    m_mdiArea->addSubWindow(document);
    // A document window that goes (only when the program ends, as closing
    // one leaves it open) may leave the frame with none and its own menu.
    connect(
        document, &QObject::destroyed, this, [this] { ShowMenuForDocuments(); },
        Qt::QueuedConnection);
    document->show();
    ++m_nDocuments;
    TileHorizontally();
    ShowMenuForDocuments();
}

void CMainFrame::TileHorizontally() {
    QList<QMdiSubWindow*> windows;
    for (QMdiSubWindow* window : m_mdiArea->subWindowList()) {
        if (!window->isMinimized()) {
            windows << window;
        }
    }
    const QRect area = m_mdiArea->viewport()->rect();
    int top = area.top();
    for (qsizetype i = 0; i < windows.size(); ++i) {
        if (windows[i]->isMaximized()) {
            windows[i]->showNormal();
        }
        const int height = (area.bottom() + 1 - top) / static_cast<int>(windows.size() - i);
        windows[i]->setGeometry(area.left(), top, area.width(), height);
        top += height;
    }
}

void CMainFrame::OnFileNew() {
    AddDocumentWindow(QStringLiteral("Serial%1").arg(m_nDocuments + 1));
}

void CMainFrame::OnFileOpen() {
    const QString path = m_services.ChooseDocumentToOpen(this);
    if (path.isEmpty()) {
        return;
    }
    AddDocumentWindow(QFileInfo(path).fileName());
    m_app.AddRecentFile(path);
    RefreshRecentFiles();
}

void CMainFrame::OnOpenRecentFile(int index) {
    const auto& paths = m_app.RecentFiles().Paths();
    if (index < 0 || index >= static_cast<int>(paths.size())) {
        return;
    }
    const QString path = QString::fromStdString(paths[static_cast<std::size_t>(index)]);
    if (QFileInfo::exists(path)) {
        AddDocumentWindow(QFileInfo(path).fileName());
        m_app.AddRecentFile(path);
    } else {
        // A file that has gone since: say so and take it off the list.
        ShowMessage("Unable to open the file " + QDir::toNativeSeparators(path).toStdString(),
                    "Error", mb::kIconExclamation);
        m_app.RemoveRecentFile(index);
    }
    RefreshRecentFiles();
}

void CMainFrame::RefreshRecentFiles() {
    const auto& paths = m_app.RecentFiles().Paths();
    for (std::size_t i = 0; i < m_recentActions.size(); ++i) {
        QAction* action = m_recentActions[i];
        if (i < paths.size()) {
            QString shown = QDir::toNativeSeparators(QString::fromStdString(paths[i]));
            shown.replace(QLatin1Char('&'), QStringLiteral("&&"));
            action->setText(QStringLiteral("&%1 %2").arg(i + 1).arg(shown));
            action->setEnabled(true);
            action->setVisible(true);
        } else {
            // An empty list shows one grayed placeholder.
            action->setText(QStringLiteral("Recent File"));
            action->setEnabled(false);
            action->setVisible(i == 0);
        }
    }
}

void CMainFrame::OnHelp() {
    if (!m_helpWindow) {
        m_helpWindow = new CHelpWindow(this);
    }
    m_helpWindow->show();
    m_helpWindow->raise();
    m_helpWindow->activateWindow();
}

void CMainFrame::OnContextHelp() {
    // The next click on a button, menu item or window shows what it does.
    QWhatsThis::enterWhatsThisMode();
}

void CMainFrame::RefreshLockIndicators() {
    m_statusBar->ShowLocks(m_services.KeyboardLockState());
}

void CMainFrame::UpdateCommandUI() {
    for (auto it = m_actions.cbegin(); it != m_actions.cend(); ++it) {
        it.value()->setEnabled(m_app.IsCommandEnabled(it.key()));
    }
}

void CMainFrame::OnThreadExit() {
    if (m_app.Runtime().OnThreadExit()) {
        UpdateCommandUI();
        m_app.OnTestClosed();
    }
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    // Closing the window is Exit, and Exit waits while a test runs or stops:
    // the operator is told why, and what to do.
    if (!m_app.IsCommandEnabled(res::kAppExit)) {
        event->ignore();
        ShowMessage(m_app.Runtime().TestRunning() ? kCloseWhileTestRuns : kCloseWhileTestStops,
                    kProgramCaption, mb::kOk | mb::kIconExclamation);
        return;
    }
    event->accept();
    // The console is a window of its own; the program ends with the main
    // window all the same.
    QCoreApplication::quit();
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_mdiArea->viewport() && event->type() == QEvent::Resize) {
        TileHorizontally();
    } else if ((event->type() == QEvent::Show || event->type() == QEvent::Hide) &&
               watched->isWidgetType() && static_cast<QWidget*>(watched)->isWindow()) {
        // The console shown or hidden changes what Test > Start offers.
        UpdateCommandUI();
    } else if ((event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) &&
               IsLockKey(event)) {
        RefreshLockIndicators();
    }
    return QMainWindow::eventFilter(watched, event);
}

}  // namespace quorvel
