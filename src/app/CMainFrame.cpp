#include "app/CMainFrame.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolBar>
#include <utility>

#include "res/Menus.h"
#include "res/resource.h"
#include "ui/Icons.h"

namespace quorvel {
namespace {

// A menu text's shortcut part (after the tab) as Qt writes it.
QString ShortcutOf(const QString& text) {
    const qsizetype tab = text.indexOf(QLatin1Char('\t'));
    return tab < 0 ? QString() : text.mid(tab + 1);
}

}  // namespace

CChildFrame::CChildFrame(const QString& title, QWidget* parent) : QMdiSubWindow(parent) {
    setWidget(new QWidget(this));  // the view: it draws nothing
    setWindowTitle(title);
    setWindowIcon(QIcon(ProgramIcon(16)));
}

void CChildFrame::closeEvent(QCloseEvent* event) {
    event->ignore();
}

CMainFrame::CMainFrame(CQuorvelApp& app, AppServices& services, const QString& titleSuffix)
    : m_app(app), m_services(services) {
    setWindowTitle(QString::fromLatin1(res::kMainTitle) + QStringLiteral(" - ") +
                   QString::fromLatin1(res::kDocumentTitle) + titleSuffix);
    setWindowIcon(QIcon(ProgramIcon(32)));
    m_mdiArea = new QMdiArea(this);
    setCentralWidget(m_mdiArea);
    m_mdiArea->addSubWindow(new CChildFrame(QString::fromLatin1(res::kDocumentTitle)));
    BuildMenus();
    // File > New and Open have only their accelerators while the document
    // window is open, which is always.
    for (const auto& [command, keys] :
         {std::pair{res::kFileNew, "Ctrl+N"}, std::pair{res::kFileOpen, "Ctrl+O"}}) {
        QAction* action = MakeAction(command, QString());
        action->setShortcut(QKeySequence(QString::fromLatin1(keys)));
        addAction(action);
    }
    BuildToolBar();
    BuildStatusBar();
    connect(&m_app, &CQuorvelApp::threadExited, this, &CMainFrame::OnThreadExit,
            Qt::QueuedConnection);
    connect(&m_app, &CQuorvelApp::commandStateChanged, this, &CMainFrame::UpdateCommandUI);
    m_app.SetMainWindow(this);
    UpdateCommandUI();
}

QAction* CMainFrame::MakeAction(int command, const QString& text) {
    if (QAction* existing = m_actions.value(command, nullptr)) {
        return existing;
    }
    const QString label = text.section(QLatin1Char('\t'), 0, 0);
    auto* action = new QAction(label, this);
    action->setData(command);
    const res::Prompt prompt = res::PromptOf(command);
    action->setStatusTip(QString::fromStdString(prompt.status));
    if (!prompt.tooltip.empty()) {
        action->setToolTip(QString::fromStdString(prompt.tooltip));
    }
    if (const QString keys = ShortcutOf(text); !keys.isEmpty()) {
        action->setShortcut(QKeySequence(keys));
    }
    connect(action, &QAction::triggered, this, [this, command] { Run(command); });
    m_actions.insert(command, action);
    return action;
}

void CMainFrame::BuildMenus() {
    // The document window is open for the whole run, so its menu is the one shown.
    for (const res::MenuItem& popup : res::DocumentMenu()) {
        QMenu* menu = menuBar()->addMenu(QString::fromStdString(popup.text));
        connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandUI);
        for (const res::MenuItem& item : popup.items) {
            if (item.IsSeparator()) {
                menu->addSeparator();
            } else {
                menu->addAction(MakeAction(item.command, QString::fromStdString(item.text)));
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
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("id%1").arg(res::kViewStatusBar));
    m_idleLabel = new QLabel(QString::fromLatin1(res::kIdleText), bar);
    bar->addWidget(m_idleLabel, 1);
    // While a menu prompt is shown the idle text steps aside.
    connect(bar, &QStatusBar::messageChanged, m_idleLabel,
            [this](const QString& message) { m_idleLabel->setVisible(message.isEmpty()); });
    for (const char* indicator : {"CAP", "NUM", "SCRL"}) {
        auto* label = new QLabel(QString::fromLatin1(indicator), bar);
        label->setEnabled(false);  // the keyboard's lock state is not known here
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        bar->addPermanentWidget(label);
    }
    QAction* statusToggle = m_actions.value(res::kViewStatusBar);
    statusToggle->setCheckable(true);
    statusToggle->setChecked(true);
    connect(statusToggle, &QAction::toggled, bar, &QStatusBar::setVisible);
}

void CMainFrame::Run(int command) {
    if (command == res::kViewToolbar || command == res::kViewStatusBar) {
        return;  // their toggled signal does the work
    }
    if (command == res::kAppExit) {
        close();
        return;
    }
    if (command == res::kFileNew) {
        OnFileNew();
        return;
    }
    if (command == res::kFileOpen) {
        OnFileOpen();
        return;
    }
    m_app.OnCommand(command);
    UpdateCommandUI();
}

void CMainFrame::AddDocumentWindow(const QString& title) {
    auto* document = new CChildFrame(title);
    m_mdiArea->addSubWindow(document);
    document->show();
    ++m_nDocuments;
    m_mdiArea->tileSubWindows();
}

void CMainFrame::OnFileNew() {
    AddDocumentWindow(QStringLiteral("Serial%1").arg(m_nDocuments + 1));
}

void CMainFrame::OnFileOpen() {
    const QString path = m_services.ChooseDocumentToOpen(this);
    if (!path.isEmpty()) {
        AddDocumentWindow(QFileInfo(path).fileName());
    }
}

void CMainFrame::UpdateCommandUI() {
    for (auto it = m_actions.cbegin(); it != m_actions.cend(); ++it) {
        it.value()->setEnabled(m_app.IsCommandEnabled(it.key()));
    }
}

void CMainFrame::OnThreadExit() {
    if (m_threadExits.Count(m_app.Runtime().m_nOpenPorts)) {
        m_app.Runtime().CloseAllPorts();
        UpdateCommandUI();
    }
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    // Closing the window is Exit, and Exit waits while a test runs or stops.
    if (!m_app.IsCommandEnabled(res::kAppExit)) {
        event->ignore();
        return;
    }
    event->accept();
    // The console is a window of its own; the program ends with the main
    // window all the same.
    QCoreApplication::quit();
}

void CMainFrame::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    m_mdiArea->tileSubWindows();  // the document window always fills the client area
}

}  // namespace quorvel
