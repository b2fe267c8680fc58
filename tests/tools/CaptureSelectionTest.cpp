#include "SelectionModel.h"

#include <gtest/gtest.h>

using namespace glimra::capture;
using Outcome = SelectionModel::Outcome;

namespace {

const QRect kDesktop(0, 0, 1920, 1080);

void drag(SelectionModel& model, QPoint from, QPoint to)
{
    model.press(from, Qt::LeftButton);
    model.move((from + to) / 2);
    model.release(to, Qt::LeftButton);
}

} // namespace

TEST(AreaSelection, AnyDragDirectionSelectsTheSameRectangle)
{
    const QPoint corners[][2] = {{{100, 100}, {400, 300}},
                                 {{400, 300}, {100, 100}},
                                 {{100, 300}, {400, 100}},
                                 {{400, 100}, {100, 300}}};
    for (const auto& c : corners) {
        SelectionModel model(CaptureMode::Area, kDesktop, {});
        EXPECT_TRUE(model.highlight().isEmpty());
        model.press(c[0], Qt::LeftButton);
        model.move(c[1]);
        EXPECT_EQ(model.highlight(), QRect(100, 100, 300, 200)); // what the overlay shows
        model.release(c[1], Qt::LeftButton);
        EXPECT_EQ(model.outcome(), Outcome::Done);
        EXPECT_EQ(model.result(), QRect(100, 100, 300, 200));
        model.cancel(); // too late: the capture is decided
        EXPECT_EQ(model.outcome(), Outcome::Done);
    }
}

TEST(AreaSelection, ClicksAndWobblesKeepWaitingForARealDrag)
{
    SelectionModel model(CaptureMode::Area, kDesktop, {});
    model.release(QPoint(300, 300), Qt::LeftButton); // release of a press made before we ran
    drag(model, QPoint(500, 500), QPoint(500, 500));
    drag(model, QPoint(500, 500), QPoint(501, 502));
    drag(model, QPoint(500, 500), QPoint(800, 500)); // a line holds no pixels
    model.press(QPoint(10, 10), Qt::MiddleButton);
    model.release(QPoint(300, 300), Qt::MiddleButton);
    EXPECT_EQ(model.outcome(), Outcome::Pending);
    EXPECT_TRUE(model.highlight().isEmpty());
    drag(model, QPoint(500, 500), QPoint(503, 501)); // small, but deliberate
    EXPECT_EQ(model.result(), QRect(500, 500, 3, 1));
}

TEST(AreaSelection, RightClickOrEscapeCancelsEvenMidDrag)
{
    SelectionModel model(CaptureMode::Area, kDesktop, {});
    model.press(QPoint(10, 10), Qt::LeftButton);
    model.move(QPoint(200, 200));
    model.press(QPoint(200, 200), Qt::RightButton);
    model.release(QPoint(200, 200), Qt::LeftButton);
    EXPECT_EQ(model.outcome(), Outcome::Cancelled);

    SelectionModel escape(CaptureMode::Window, kDesktop, {{1, kDesktop}});
    escape.cancel();
    escape.press(QPoint(5, 5), Qt::LeftButton);
    escape.release(QPoint(5, 5), Qt::LeftButton);
    EXPECT_EQ(escape.outcome(), Outcome::Cancelled);
}

TEST(AreaSelection, DragPastTheDesktopEdgeIsClipped)
{
    // A grabbed pointer reports positions beyond the outer monitors while the button is held.
    const QRect desktop(-1280, 0, 3200, 1080);
    SelectionModel right(CaptureMode::Area, desktop, {});
    drag(right, QPoint(1800, 1000), QPoint(2100, 1300));
    EXPECT_EQ(right.result(), QRect(1800, 1000, 120, 80));
    SelectionModel left(CaptureMode::Area, desktop, {});
    drag(left, QPoint(-1200, 50), QPoint(-1500, 10));
    EXPECT_EQ(left.result(), QRect(-1280, 10, 80, 40));
}

TEST(WindowSelection, HighlightAndClickFollowTheTopmostWindow)
{
    // Bottom to top: a maximised window, a dialog, a small tool window overlapping the dialog.
    const std::vector<WindowFrame> stack = {{1, QRect(0, 0, 1920, 1040)},
                                            {2, QRect(400, 300, 600, 400)},
                                            {3, QRect(900, 600, 200, 200)}};
    SelectionModel model(CaptureMode::Window, kDesktop, stack);
    EXPECT_TRUE(model.highlight().isEmpty()); // pointer position not known yet
    const std::pair<QPoint, QRect> hovers[] = {
        {{10, 10}, stack[0].frame},   {{500, 400}, stack[1].frame},  {{950, 650}, stack[2].frame},
        {{999, 699}, stack[2].frame}, {{1000, 500}, stack[0].frame}, {{10, 1050}, QRect()}};
    for (const auto& [point, expected] : hovers) {
        model.move(point);
        EXPECT_EQ(model.highlight(), expected) << point.x() << "," << point.y();
    }
    // The bare desktop is no window: keep waiting.
    model.press(QPoint(10, 1050), Qt::LeftButton);
    model.release(QPoint(10, 1050), Qt::LeftButton);
    EXPECT_EQ(model.outcome(), Outcome::Pending);
    // The window pressed on is taken, wherever the release lands.
    model.press(QPoint(500, 400), Qt::LeftButton);
    model.release(QPoint(50, 50), Qt::LeftButton);
    EXPECT_EQ(model.result(), stack[1].frame);
}

TEST(WindowSelection, OffscreenPartsAreCut)
{
    // Dragged half off the left edge, with the title bar above the top edge.
    SelectionModel model(CaptureMode::Window, kDesktop, {{7, QRect(-300, -20, 700, 500)}});
    model.press(QPoint(100, 100), Qt::LeftButton);
    model.release(QPoint(100, 100), Qt::LeftButton);
    EXPECT_EQ(model.result(), QRect(0, 0, 400, 480));
}
