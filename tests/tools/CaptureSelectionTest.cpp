#include "SelectionModel.h"

#include <gtest/gtest.h>

using namespace glimra::capture;
using Outcome = SelectionModel::Outcome;

namespace {

const QRect kDesktop(0, 0, 1920, 1080);

void drag(SelectionModel& model, QPoint from, QPoint to)
{
    model.move(from);
    model.press(from, Qt::LeftButton);
    model.move((from + to) / 2);
    model.move(to);
    model.release(to, Qt::LeftButton);
}

} // namespace

TEST(AreaSelection, DragSelectsTheSpannedRectangle)
{
    SelectionModel model(CaptureMode::Area, kDesktop, {});
    EXPECT_TRUE(model.highlight().isEmpty()); // nothing to show before a press
    model.press(QPoint(400, 300), Qt::LeftButton);
    model.move(QPoint(100, 100));
    EXPECT_TRUE(model.isDragging());
    EXPECT_EQ(model.highlight(), QRect(100, 100, 300, 200));
    model.release(QPoint(100, 100), Qt::LeftButton);
    EXPECT_EQ(model.outcome(), Outcome::Done);
    EXPECT_EQ(model.result(), QRect(100, 100, 300, 200));

    // Later events change nothing: the capture is decided.
    model.press(QPoint(0, 0), Qt::RightButton);
    model.cancel();
    EXPECT_EQ(model.outcome(), Outcome::Done);
}

TEST(AreaSelection, ClickWithoutDragKeepsWaitingForARealDrag)
{
    SelectionModel model(CaptureMode::Area, kDesktop, {});
    drag(model, QPoint(500, 500), QPoint(500, 500));
    EXPECT_EQ(model.outcome(), Outcome::Pending);
    drag(model, QPoint(500, 500), QPoint(501, 502)); // a hand's wobble
    EXPECT_EQ(model.outcome(), Outcome::Pending);
    EXPECT_TRUE(model.highlight().isEmpty());
    drag(model, QPoint(500, 500), QPoint(540, 520));
    EXPECT_EQ(model.outcome(), Outcome::Done);
    EXPECT_EQ(model.result(), QRect(500, 500, 40, 20));
}

TEST(AreaSelection, RightClickOrEscapeCancelsEvenMidDrag)
{
    SelectionModel rightClick(CaptureMode::Area, kDesktop, {});
    rightClick.press(QPoint(10, 10), Qt::LeftButton);
    rightClick.move(QPoint(200, 200));
    rightClick.press(QPoint(200, 200), Qt::RightButton);
    EXPECT_EQ(rightClick.outcome(), Outcome::Cancelled);
    rightClick.release(QPoint(200, 200), Qt::LeftButton);
    EXPECT_EQ(rightClick.outcome(), Outcome::Cancelled);

    SelectionModel escape(CaptureMode::Area, kDesktop, {});
    escape.cancel();
    EXPECT_EQ(escape.outcome(), Outcome::Cancelled);
}

TEST(AreaSelection, OtherButtonsAndStrayReleasesAreIgnored)
{
    SelectionModel model(CaptureMode::Area, kDesktop, {});
    model.release(QPoint(300, 300), Qt::LeftButton); // release of a press made before we ran
    model.press(QPoint(10, 10), Qt::MiddleButton);
    model.release(QPoint(300, 300), Qt::MiddleButton);
    EXPECT_EQ(model.outcome(), Outcome::Pending);
    EXPECT_FALSE(model.isDragging());
}

TEST(AreaSelection, DragPastTheDesktopEdgeIsClipped)
{
    // The grabbed pointer reports positions beyond the last monitor while the button is held.
    const QRect desktop(-1280, 0, 3200, 1080);
    SelectionModel model(CaptureMode::Area, desktop, {});
    drag(model, QPoint(1800, 1000), QPoint(2100, 1300));
    EXPECT_EQ(model.outcome(), Outcome::Done);
    EXPECT_EQ(model.result(), QRect(1800, 1000, 120, 80));

    SelectionModel left(CaptureMode::Area, desktop, {});
    drag(left, QPoint(-1200, 50), QPoint(-1500, 10));
    EXPECT_EQ(left.result(), QRect(-1280, 10, 80, 40));
}

TEST(WindowSelection, HighlightFollowsTheTopmostWindowUnderThePointer)
{
    SelectionModel model(CaptureMode::Window, kDesktop,
                         {{1, QRect(0, 0, 800, 600)}, {2, QRect(200, 200, 400, 300)}});
    EXPECT_TRUE(model.highlight().isEmpty()); // pointer position not known yet
    model.move(QPoint(100, 100));
    EXPECT_EQ(model.highlight(), QRect(0, 0, 800, 600));
    model.move(QPoint(300, 300));
    EXPECT_EQ(model.highlight(), QRect(200, 200, 400, 300));
    model.move(QPoint(1000, 1000));
    EXPECT_TRUE(model.highlight().isEmpty());
}

TEST(WindowSelection, ClickCapturesTheWindowPressedOn)
{
    SelectionModel model(CaptureMode::Window, kDesktop,
                         {{1, QRect(0, 0, 800, 600)}, {2, QRect(200, 200, 400, 300)}});
    model.press(QPoint(300, 300), Qt::LeftButton);
    model.release(QPoint(50, 50), Qt::LeftButton); // released over the window below
    EXPECT_EQ(model.outcome(), Outcome::Done);
    EXPECT_EQ(model.result(), QRect(200, 200, 400, 300));
}

TEST(WindowSelection, BareDesktopClickKeepsWaitingAndOffscreenPartsAreCut)
{
    // A window dragged half off the left edge, with decorations above the top edge.
    SelectionModel model(CaptureMode::Window, kDesktop, {{7, QRect(-300, -20, 700, 500)}});
    model.press(QPoint(1500, 900), Qt::LeftButton);
    model.release(QPoint(1500, 900), Qt::LeftButton);
    EXPECT_EQ(model.outcome(), Outcome::Pending);
    model.press(QPoint(100, 100), Qt::LeftButton);
    model.release(QPoint(100, 100), Qt::LeftButton);
    EXPECT_EQ(model.outcome(), Outcome::Done);
    EXPECT_EQ(model.result(), QRect(0, 0, 400, 480));
}

TEST(WindowSelection, RightClickCancels)
{
    SelectionModel model(CaptureMode::Window, kDesktop, {{1, QRect(0, 0, 800, 600)}});
    model.press(QPoint(100, 100), Qt::RightButton);
    EXPECT_EQ(model.outcome(), Outcome::Cancelled);
}
