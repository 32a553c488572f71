// The console on an operator's screen: it opens within the screen's free area
// whatever the scale (ctest runs this suite on a 1400 x 1000 screen at scale
// factors 1 and 2), the wheel and the paging keys scroll it, the operator's
// size and place are kept, and a larger window gives its room to the panels.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QGroupBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QWheelEvent>

#include "fakes/MemoryProfileStore.h"
#include "gui/ConsoleFixture.h"
#include "ui/ScreenFit.h"

// Qt's way in for input from the window system, as its platform plugins use
// it: a wheel turn that comes this way is a real one, which Qt gives to the
// control under the mouse and passes on to the window when the control does
// not take it (one sent to a widget directly stays with that widget).
class QWindowSystemInterface {
  public:
    static bool handleWheelEvent(QWindow* window, const QPointF& local, const QPointF& global,
                                 QPoint pixelDelta, QPoint angleDelta,
                                 Qt::KeyboardModifiers modifiers, Qt::ScrollPhase phase,
                                 Qt::MouseEventSource source);
};

namespace quorvel {
namespace {

using res::PanelRole;

// A turn of the mouse wheel over `widget` by `notches` (negative: towards
// the operator, which scrolls down), as the window system reports one.
void TurnWheel(QWidget* widget, int notches) {
    QWidget* window = widget->window();
    const QPoint at = widget->mapTo(window, widget->rect().center());
    const qreal scale = window->devicePixelRatio();  // the window system's pixels
    QWindowSystemInterface::handleWheelEvent(window->windowHandle(), QPointF(at) * scale,
                                             QPointF(widget->mapToGlobal(at)) * scale, QPoint(),
                                             QPoint(0, 120 * notches), Qt::NoModifier,
                                             Qt::NoScrollPhase, Qt::MouseEventNotSynthesized);
    QCoreApplication::processEvents();
}

using ConsoleFitTest = testing::ConsoleFixture;

TEST_F(ConsoleFitTest, TheConsoleOpensWithinTheScreensFreeAreaAtAnyScale) {
    CSerialTestDialog* console = Start();
    ASSERT_NE(console, nullptr);
    QScreen* screen = console->screen();
    const qreal scale = screen->devicePixelRatio();
    ASSERT_EQ((QSizeF(screen->geometry().size()) * scale).toSize(), QSize(1400, 1000))
        << "the suite runs on the screen of tests/gui/screen-1400x1000.json";
    EXPECT_DOUBLE_EQ(scale,
                     qEnvironmentVariable("QT_SCALE_FACTOR", QStringLiteral("1")).toDouble());
    const QRect available = screen->availableGeometry();
    EXPECT_TRUE(available.contains(console->frameGeometry()))
        << console->frameGeometry().x() << "," << console->frameGeometry().y() << " "
        << console->frameGeometry().width() << "x" << console->frameGeometry().height();
    if (available.contains(QRect(
            console->frameGeometry().topLeft(),
            CSerialTestDialog::kDefaultSize + console->frameGeometry().size() - console->size()))) {
        EXPECT_EQ(console->size(), CSerialTestDialog::kDefaultSize);  // room enough: as ever
    } else {
        EXPECT_LT(console->width(), CSerialTestDialog::kDefaultSize.width());
    }
    // Whatever it shows, the rest is reached by scrolling: its bars lie within it.
    EXPECT_TRUE(console->VerticalBar()->isVisible());
    EXPECT_TRUE(console->rect().contains(console->VerticalBar()->geometry()));
    EXPECT_TRUE(console->rect().contains(console->HorizontalBar()->geometry()));
    EXPECT_EQ(m_services.consoleGeometriesRemembered, 0);  // the operator did nothing
    EXPECT_TRUE(
        testing::SaveScreenshot(*console, QStringLiteral("console-at-scale-%1").arg(scale)));
}

TEST(ScreenFit, AWindowIsCutToTheAreaAndMovedOntoItWithItsFrame) {
    const QRect area(0, 0, 700, 500);
    const QMargins frame(2, 20, 2, 2);
    // One that fits stays; one exactly as large as the area fits too.
    EXPECT_EQ(FitWithin(QRect(102, 120, 300, 200), frame, area), QRect(102, 120, 300, 200));
    EXPECT_EQ(FitWithin(QRect(2, 20, 696, 478), frame, area), QRect(2, 20, 696, 478));
    // 860 x 580 at 100, 100 on 700 x 500: as large as the area less the frame.
    EXPECT_EQ(FitWithin(QRect(102, 120, 860, 580), frame, area), QRect(2, 20, 696, 478));
    // Off the area to the left and above, or beyond its far corner.
    EXPECT_EQ(FitWithin(QRect(-50, -80, 100, 100), frame, area), QRect(2, 20, 100, 100));
    EXPECT_EQ(FitWithin(QRect(650, 450, 100, 100), frame, area), QRect(598, 398, 100, 100));
    // An area that does not start at the origin (a panel above it).
    EXPECT_EQ(FitWithin(QRect(10, 10, 100, 100), QMargins(), QRect(0, 30, 700, 470)),
              QRect(10, 30, 100, 100));
}

TEST_F(ConsoleFitTest, TheWheelAndThePagingKeysScrollTheConsole) {
    CSerialTestDialog* console = Start();
    ASSERT_NE(console, nullptr);
    ASSERT_GT(console->VerticalBar()->maximum(), 0);
    // Over a control that does not scroll itself, the console scrolls.
    QCheckBox* enable = console->As<QCheckBox>(PanelRole::Enable, 0);
    TurnWheel(enable, -1);
    const int afterOneNotch = console->VerticalBar()->value();
    EXPECT_GT(afterOneNotch, 0);
    EXPECT_EQ(console->Content()->y(), -afterOneNotch * ScrollModel::kRow);
    TurnWheel(enable, -1);
    EXPECT_EQ(console->VerticalBar()->value(),
              std::min(2 * afterOneNotch, console->VerticalBar()->maximum()));
    TurnWheel(console->As<QPlainTextEdit>(PanelRole::Transmit, 0), 5);  // an empty box
    EXPECT_EQ(console->VerticalBar()->value(), 0);
    EXPECT_EQ(console->Content()->y(), 0);

    // Page Down shows what lay below, Ctrl+Home the top and Ctrl+End the bottom.
    QPushButton* run = console->As<QPushButton>(PanelRole::Run, 0);
    QTest::keyClick(run, Qt::Key_PageDown);
    const int page = console->VerticalBar()->value();
    EXPECT_GT(page, 0);
    EXPECT_LE(page * ScrollModel::kRow, console->ViewSize().height());
    QTest::keyClick(run, Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(console->VerticalBar()->value(), console->VerticalBar()->maximum());
    QTest::keyClick(run, Qt::Key_PageUp);
    EXPECT_EQ(console->VerticalBar()->value(), console->VerticalBar()->maximum() - page);
    QTest::keyClick(run, Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(console->VerticalBar()->value(), 0);
    EXPECT_TRUE(console->isVisible());  // none of them closes it
}

TEST_F(ConsoleFitTest, AConsoleTheOperatorResizedComesBackAtItsNewSizeAndPlace) {
    CSerialTestDialog* console = Start();
    ASSERT_NE(console, nullptr);
    const QRect available = console->screen()->availableGeometry();
    const QSize smaller =
        CSerialTestDialog::kDefaultSize.boundedTo(available.size()) / 2 + QSize(100, 50);
    console->resize(smaller);
    console->move(available.topLeft() + QPoint(40, 30));
    QTest::keyClick(console, Qt::Key_Escape);  // hidden at once: the change is kept all the same
    ASSERT_TRUE(m_services.consoleGeometry.has_value());
    EXPECT_EQ(m_services.consoleGeometry->size(), smaller);

    m_frame.Action(res::kTestStart)->trigger();
    EXPECT_TRUE(console->isVisible());
    EXPECT_EQ(console->size(), smaller);
    EXPECT_EQ(console->frameGeometry().topLeft(), available.topLeft() + QPoint(40, 30));
    // Where a remembered place no longer fits (another screen), it is fitted.
    QTest::keyClick(console, Qt::Key_Escape);
    m_services.consoleGeometry = QRect(available.right() - 10, -400, 5000, 300);
    m_frame.Action(res::kTestStart)->trigger();
    EXPECT_TRUE(available.contains(console->frameGeometry()));
    EXPECT_EQ(console->height(), 300);
}

TEST(ConsoleGeometry, IsKeptInTheProfilesConsoleSectionAndNothingBeforeTheFirstMove) {
    testing::MemoryProfileStore store;
    DesktopServices services(&store);
    EXPECT_FALSE(services.ConsoleGeometry().has_value());
    services.RememberConsoleGeometry(QRect(-20, 35, 700, 450));
    EXPECT_EQ(store.values["Console/Left"], -20);
    EXPECT_EQ(store.values["Console/Top"], 35);
    EXPECT_EQ(store.values["Console/Width"], 700);
    EXPECT_EQ(store.values["Console/Height"], 450);
    EXPECT_EQ(DesktopServices(&store).ConsoleGeometry(), QRect(-20, 35, 700, 450));
    store.values["Console/Height"] = 0;  // nothing a window could be
    EXPECT_FALSE(DesktopServices(&store).ConsoleGeometry().has_value());
}

TEST_F(ConsoleFitTest, AWindowLargerThanTheTemplateGivesTheRoomToTheTextBoxes) {
    CSerialTestDialog* console = Start();
    ASSERT_NE(console, nullptr);
    const QSize templateSize = console->Content()->minimumSize();
    auto place = [console](PanelRole role, int port) {
        return console->Control(role, port)->geometry();
    };
    const QRect transmit = place(PanelRole::Transmit, 3);
    const QRect receive = place(PanelRole::Receive, 3);
    const QRect run = place(PanelRole::Run, 3);
    const QRect enable = place(PanelRole::Enable, 3);
    const QRect panel = console->Panel(3)->geometry();
    const QRect statistics = console->Content()->findChild<QPushButton*>("statistics")->geometry();

    console->resize(templateSize + QSize(400, 200));  // 200 a column, 50 a row
    EXPECT_FALSE(console->VerticalBar()->isVisible());
    EXPECT_FALSE(console->HorizontalBar()->isVisible());
    EXPECT_EQ(console->Content()->size(), console->size());
    // Port4: second column, second row.
    EXPECT_EQ(console->Panel(3)->geometry(),
              QRect(panel.topLeft() + QPoint(200, 50), panel.size() + QSize(200, 50)));
    EXPECT_EQ(place(PanelRole::Transmit, 3),
              QRect(transmit.topLeft() + QPoint(200, 50), transmit.size() + QSize(100, 50)));
    EXPECT_EQ(place(PanelRole::Receive, 3),
              QRect(receive.topLeft() + QPoint(300, 50), receive.size() + QSize(100, 50)));
    EXPECT_EQ(place(PanelRole::Run, 3).y(), run.y() + 50 + 50);  // below the boxes
    EXPECT_EQ(place(PanelRole::Enable, 3).y(), enable.y() + 50);
    EXPECT_EQ(place(PanelRole::Run, 3).size(), run.size());
    EXPECT_EQ(console->Content()->findChild<QPushButton*>("statistics")->geometry(),
              statistics.translated(0, 200));
    // Nothing overlaps a box that grew.
    for (PanelRole role : {PanelRole::LoopTest, PanelRole::Run, PanelRole::Transfer,
                           PanelRole::PacketCount, PanelRole::Rxd}) {
        EXPECT_FALSE(place(role, 3).intersects(place(PanelRole::Transmit, 3)));
        EXPECT_FALSE(place(role, 3).intersects(place(PanelRole::Receive, 3)));
    }
    EXPECT_TRUE(testing::SaveScreenshot(*console, QStringLiteral("console-grown")));

    console->resize(CSerialTestDialog::kDefaultSize);  // smaller again: as the template
    EXPECT_EQ(place(PanelRole::Transmit, 3), transmit);
    EXPECT_EQ(console->Panel(3)->geometry(), panel);
}

}  // namespace
}  // namespace quorvel
