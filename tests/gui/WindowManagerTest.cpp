// The console and the message boxes on a real X server under a real window
// manager (run by under_window_manager.sh): what only a window manager
// decides, asked of it the way the desktop's own tools ask.
#include <gtest/gtest.h>

#include <QAction>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <functional>

#include "app/CMainFrame.h"
#include "card/SimulatedCard.h"
#include "fakes/FakeAppServices.h"
#include "fakes/MemoryProfileStore.h"
#include "fakes/RecordingMessageSink.h"
#include "gui/GuiTestSupport.h"
#include "res/resource.h"
#include "ui/ConsoleBridge.h"
#include "ui/QtMessageSink.h"

// Qt's headers first: X11's macros (None, Bool, Status ...) would break them.
#include <QtGui/qguiapplication_platform.h>
// clang-format off
#include <X11/Xlib.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>
// clang-format on

namespace quorvel {
namespace {

using res::PanelRole;

// The X server of Qt's connection, as the window manager and task bars see it.
class XServer {
  public:
    XServer() {
        const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
        m_display = x11 != nullptr ? x11->display() : nullptr;
    }
    bool Connected() const { return m_display != nullptr; }

    Atom AtomOf(const char* name) const { return XInternAtom(m_display, name, False); }

    // A 32-bit list property (atoms, windows, numbers) of `window`.
    std::vector<unsigned long> List(::Window window, const char* property) const {
        XSync(m_display, False);
        Atom type = 0;
        int format = 0;
        unsigned long count = 0;
        unsigned long after = 0;
        unsigned char* data = nullptr;
        std::vector<unsigned long> values;
        if (XGetWindowProperty(m_display, window, AtomOf(property), 0, 1024, False, AnyPropertyType,
                               &type, &format, &count, &after, &data) == Success &&
            data != nullptr && format == 32) {
            const auto* longs = reinterpret_cast<const unsigned long*>(data);
            values.assign(longs, longs + count);
        }
        if (data != nullptr) {
            XFree(data);
        }
        return values;
    }
    std::vector<unsigned long> RootList(const char* property) const {
        return List(DefaultRootWindow(m_display), property);
    }

    // A window manager has taken the screen (EWMH: the root names a check
    // window that names itself).
    bool WindowManagerRunning() const {
        const auto check = RootList("_NET_SUPPORTING_WM_CHECK");
        return check.size() == 1 && List(check[0], "_NET_SUPPORTING_WM_CHECK") == check;
    }

    ::Window TransientFor(::Window window) const {
        ::Window owner = 0;
        XSync(m_display, False);
        return XGetTransientForHint(m_display, window, &owner) != 0 ? owner : 0;
    }

    // A request to the window manager about `window`, sent as a task bar or
    // a close box sends it.
    void AskWindowManager(::Window window, const char* message, long data0, long data1) const {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = AtomOf(message);
        event.xclient.format = 32;
        event.xclient.data.l[0] = data0;
        event.xclient.data.l[1] = data1;
        XSendEvent(m_display, DefaultRootWindow(m_display), False,
                   SubstructureRedirectMask | SubstructureNotifyMask, &event);
        XFlush(m_display);
    }

  private:
    Display* m_display = nullptr;
};

::Window XWindowOf(QWidget& widget) {
    return static_cast<::Window>(widget.winId());
}

// The position of `window` in the window manager's stacking order, bottom first.
int StackingPlace(const XServer& x, ::Window window) {
    const auto stacking = x.RootList("_NET_CLIENT_LIST_STACKING");
    const auto found = std::find(stacking.begin(), stacking.end(), window);
    return found == stacking.end() ? -1 : static_cast<int>(found - stacking.begin());
}

// Writes the whole screen, window manager's frames and all, to
// screenshots/<name>.png for people to look at.
bool SaveScreen(const QString& name) {
    QDir folder(QDir::currentPath());
    folder.mkpath(QStringLiteral("screenshots"));
    return QGuiApplication::primaryScreen()->grabWindow(0).save(
        folder.filePath(QStringLiteral("screenshots/%1.png").arg(name)));
}

class WindowManagerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(QGuiApplication::platformName(), "xcb")
            << "run this suite with tests/gui/under_window_manager.sh";
        ASSERT_TRUE(m_x.Connected());
        ASSERT_TRUE(testing::ProcessEventsUntil([&] { return m_x.WindowManagerRunning(); }, 30000))
            << "no window manager took the screen";
        ASSERT_TRUE(m_card.Start());
        m_card.Install();
        m_app.LoadRecords();
        m_console.Attach(m_app.Runtime(), m_app.Records(), m_services);
        m_console.SetOwner(&m_frame);
        m_frame.setGeometry(40, 40, 1180, 820);
        m_frame.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_frame));
    }
    void TearDown() override {
        if (!m_app.Runtime().StartEnabled()) {
            m_app.Runtime().OnTestStop();
            testing::ProcessEventsUntil([&] { return m_app.Runtime().StartEnabled(); });
        }
    }

    // Asks the window manager to activate `window`, as a click on its
    // task-bar entry does, and waits until it has.
    bool Activate(QWidget& window) {
        // Asked again now and then: the window manager may pass over an ask
        // that comes while it is still mapping or placing the window.
        QElapsedTimer asked;
        return testing::ProcessEventsUntil([&] {
            if (!asked.isValid() || asked.elapsed() > 500) {
                m_x.AskWindowManager(XWindowOf(window), "_NET_ACTIVE_WINDOW", 2, CurrentTime);
                asked.restart();
            }
            const auto active = m_x.RootList("_NET_ACTIVE_WINDOW");
            return active.size() == 1 && active[0] == XWindowOf(window);
        });
    }
    // The operator turns from the console to the main window. Once the main
    // window is active the window manager has raised it, and what it keeps
    // above it.
    bool TurnToTheMainWindow(QWidget& console) { return Activate(console) && Activate(m_frame); }

    XServer m_x;
    testing::RecordingMessageSink m_messages;
    SimulatedCard m_card;
    testing::MemoryProfileStore m_store;
    ConsoleBridge m_console;
    testing::FakeAppServices m_services;
    CQuorvelApp m_app{m_store, m_console, m_services};
    CMainFrame m_frame{m_app, m_services};
};

TEST_F(WindowManagerTest, TheConsoleStaysAboveTheMainWindowAndComesBackAfterAClose) {
    m_frame.Action(res::kTestStart)->trigger();
    CSerialTestDialog* console = m_console.Dialog();
    ASSERT_NE(console, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(console));
    const ::Window consoleWindow = XWindowOf(*console);

    // A window of the main window: the window manager keeps it above it, and
    // task bars are asked to leave it out.
    EXPECT_EQ(m_x.TransientFor(consoleWindow), XWindowOf(m_frame));
    const auto states = m_x.List(consoleWindow, "_NET_WM_STATE");
    EXPECT_NE(std::find(states.begin(), states.end(), m_x.AtomOf("_NET_WM_STATE_SKIP_TASKBAR")),
              states.end());
    // No close box asked for: the Motif hints give functions without close.
    const auto motif = m_x.List(consoleWindow, "_MOTIF_WM_HINTS");
    ASSERT_GE(motif.size(), 2u);
    EXPECT_TRUE(motif[0] & 1u);             // the functions are given
    EXPECT_FALSE(motif[1] & (1u | 0x20u));  // neither all of them nor close

    QTest::mouseClick(console->As<QPushButton>(PanelRole::Run, 0), Qt::LeftButton);
    QPlainTextEdit* received = console->As<QPlainTextEdit>(PanelRole::Receive, 0);
    ASSERT_TRUE(testing::ProcessEventsUntil([&] { return received->blockCount() >= 8; }));

    // The operator clicks the main window: the console stays above it.
    ASSERT_TRUE(TurnToTheMainWindow(*console));
    EXPECT_GT(StackingPlace(m_x, consoleWindow), StackingPlace(m_x, XWindowOf(m_frame)));
    EXPECT_TRUE(console->isVisible());
    EXPECT_TRUE(SaveScreen(QStringLiteral("console-over-main-window")));

    // openbox draws a close box on every titled window whatever it is asked;
    // its close hides the console, which the test outlives, and Test > Start
    // brings it back above the main window.
    m_x.AskWindowManager(consoleWindow, "_NET_CLOSE_WINDOW", CurrentTime, 2);
    ASSERT_TRUE(testing::ProcessEventsUntil([&] { return !console->isVisible(); }));
    EXPECT_EQ(m_console.Dialog(), console);
    EXPECT_EQ(m_console.Console(), &m_console);
    EXPECT_TRUE(m_app.Runtime().IsPortRunning(0));
    QAction* start = m_frame.Action(res::kTestStart);
    ASSERT_TRUE(start->isEnabled());
    start->trigger();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(console));
    ASSERT_TRUE(TurnToTheMainWindow(*console));
    EXPECT_GT(StackingPlace(m_x, consoleWindow), StackingPlace(m_x, XWindowOf(m_frame)));
    EXPECT_TRUE(m_messages.Messages().empty()) << m_messages.Shown();
}

TEST_F(WindowManagerTest, APortThatDoesNotOpenSaysWhyOverTheMainWindow) {
    QtMessageSink boxes;
    boxes.SetMainWindow(&m_frame);
    InstallMessageSink(&boxes);
    m_app.Records().m_PortRegistry[0].nComBase = 98;  // COM99: no device answers
    QStringList texts;
    QString detail;
    QObject watch;
    std::function<void(QMessageBox&)> answer = [&](QMessageBox& box) {
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&box));
        texts << box.text();
        if (texts.size() == 1) {
            detail = box.informativeText();
            EXPECT_TRUE(SaveScreen(QStringLiteral("port-open-failure")));
            testing::WhenShown<QMessageBox>(watch, answer);  // "... any communication port"
        }
        box.button(QMessageBox::Ok)->click();
    };
    testing::WhenShown<QMessageBox>(watch, answer);
    m_frame.Action(res::kTestStart)->trigger();
    InstallMessageSink(&m_messages);
    EXPECT_EQ(texts, (QStringList{"Unable to open the communication port COM99",
                                  "Unable to open any communication port"}));
    EXPECT_EQ(detail.toStdString(), m_app.Runtime().OpenFailure(0).Detail());
}

}  // namespace
}  // namespace quorvel
