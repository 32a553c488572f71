#include <gtest/gtest.h>

#include <QLabel>

#include "ui/CScrollDialog.h"

namespace quorvel {
namespace {

class ScrollModelTest : public ::testing::Test {
  protected:
    void SetUp() override { m_model.Initialize(800, 600); }
    ScrollModel m_model;
};

TEST_F(ScrollModelTest, AClientAsLargeAsTheTemplateScrollsNothingAndShowsTheGrip) {
    m_model.Resize(800, 600, false);
    EXPECT_EQ(m_model.m_nHorzRange, 0);
    EXPECT_EQ(m_model.m_nVertRange, 0);
    EXPECT_TRUE(m_model.GripVisible());
    EXPECT_EQ(m_model.ScrollVertically(kLineForward), 0);

    m_model.Resize(900, 700, false);  // larger: ranges negative, nothing to scroll
    EXPECT_EQ(m_model.m_nHorzRange, -12);
    EXPECT_EQ(m_model.m_nVertRange, -25);
    EXPECT_EQ(m_model.m_nHorzMax, 0);
    EXPECT_EQ(m_model.m_nVertMax, 0);
    EXPECT_TRUE(m_model.GripVisible());
    m_model.Resize(900, 700, true);  // maximised: no grip
    EXPECT_FALSE(m_model.GripVisible());
}

TEST_F(ScrollModelTest, RangesCountColumnsOfEightAndRowsOfFour) {
    m_model.Resize(700, 570, false);
    EXPECT_EQ(m_model.m_nHorzRange, 12);  // 100 / 8
    EXPECT_EQ(m_model.m_nVertRange, 7);   // 30 / 4
    EXPECT_FALSE(m_model.GripVisible());
    m_model.Resize(793, 597, false);  // a remainder is never scrolled into view
    EXPECT_EQ(m_model.m_nHorzRange, 0);
    EXPECT_EQ(m_model.m_nVertRange, 0);
}

TEST_F(ScrollModelTest, StepsAreClampedToTheRange) {
    m_model.Resize(700, 570, false);
    EXPECT_EQ(m_model.ScrollVertically(kLineForward), 1);
    EXPECT_EQ(m_model.ScrollVertically(kLineForward), 1);
    EXPECT_EQ(m_model.ScrollVertically(kPageForward), 5);  // a page of 7, clamped
    EXPECT_EQ(m_model.m_nVertPos, 7);
    EXPECT_EQ(m_model.ScrollVertically(kPageBack), -7);
    EXPECT_EQ(m_model.m_nVertPos, 0);

    EXPECT_EQ(m_model.ScrollHorizontally(kPageForward), 8);
    EXPECT_EQ(m_model.ScrollHorizontally(kToEnd), 4);
    EXPECT_EQ(m_model.ScrollHorizontally(kLineForward), 0);  // at the maximum
    EXPECT_EQ(m_model.OffsetX(), -12 * 8);
    EXPECT_EQ(m_model.ScrollHorizontally(kThumbTrack, 5), -7);
    EXPECT_EQ(m_model.ScrollHorizontally(kThumbPosition, 9), 0);
    EXPECT_EQ(m_model.ScrollHorizontally(kToStart), -5);
    EXPECT_EQ(m_model.ScrollVertically(kToEnd), 7);
    EXPECT_EQ(m_model.OffsetY(), -28);

    m_model.Resize(710, 570, false);  // every resize returns to the origin
    EXPECT_EQ(m_model.m_nHorzPos, 0);
    EXPECT_EQ(m_model.m_nVertPos, 0);
}

TEST(ScrollModel, SizesBeforeInitialisationAreIgnored) {
    ScrollModel model;
    model.Resize(10, 10, false);
    EXPECT_EQ(model.m_nHorzRange, 0);
    EXPECT_EQ(model.m_bInitialized, 0);
}

// A dialog whose template client is 400 x 300 pixels.
class SmallScrollDialog final : public CScrollDialog {
  public:
    SmallScrollDialog() {
        Content()->setFixedSize(400, 300);
        new QLabel(QStringLiteral("corner"), Content());
        OnInitDialog();
    }
};

TEST(ScrollDialog, TheContentMovesWithTheBarsAndTheGripShowsOnlyWhenAllFits) {
    SmallScrollDialog dialog;
    dialog.show();
    EXPECT_EQ(dialog.size(), QSize(400, 300));
    EXPECT_TRUE(dialog.Grip()->isVisible());
    EXPECT_FALSE(dialog.HorizontalBar()->isVisible());
    EXPECT_EQ(dialog.Grip()->geometry().bottomRight(), dialog.rect().bottomRight());

    dialog.resize(300, 270);
    EXPECT_FALSE(dialog.Grip()->isVisible());
    EXPECT_TRUE(dialog.HorizontalBar()->isVisible());
    // The bars take their room from the client: the content shows beside them.
    const int barWidth = dialog.VerticalBar()->width();
    const int barHeight = dialog.HorizontalBar()->height();
    EXPECT_EQ(dialog.ViewSize(), QSize(300 - barWidth, 270 - barHeight));
    EXPECT_EQ(dialog.HorizontalBar()->geometry(),
              QRect(0, 270 - barHeight, 300 - barWidth, barHeight));
    const int columns = (400 - (300 - barWidth)) / 8;
    const int rows = (300 - (270 - barHeight)) / 4;
    EXPECT_EQ(dialog.HorizontalBar()->maximum(), columns);
    EXPECT_EQ(dialog.VerticalBar()->maximum(), rows);
    dialog.HorizontalBar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(dialog.Content()->pos(), QPoint(-64, 0));
    EXPECT_EQ(dialog.HorizontalBar()->value(), 8);
    dialog.VerticalBar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(dialog.Content()->pos(), QPoint(-64, -rows * 4));

    dialog.resize(310, 270);
    EXPECT_EQ(dialog.Content()->pos(), QPoint(0, 0));
    EXPECT_EQ(dialog.HorizontalBar()->value(), 0);
    EXPECT_EQ(CSizeGrip::kHitTest, 17);

    // Only too narrow: the horizontal bar takes its height, and then the
    // content needs the vertical one too.
    dialog.resize(300, 300);
    EXPECT_TRUE(dialog.HorizontalBar()->isVisible());
    EXPECT_TRUE(dialog.VerticalBar()->isVisible());
    // Wide and high enough: no bar, and the content fills the client.
    dialog.resize(450, 330);
    EXPECT_FALSE(dialog.HorizontalBar()->isVisible());
    EXPECT_FALSE(dialog.VerticalBar()->isVisible());
    EXPECT_EQ(dialog.Content()->size(), QSize(450, 330));
    EXPECT_TRUE(dialog.Grip()->isVisible());
}

}  // namespace
}  // namespace quorvel
