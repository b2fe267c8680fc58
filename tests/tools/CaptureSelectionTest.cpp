// SPDX-License-Identifier: GPL-3.0-or-later
#include "SelectionModel.h"

#include "TestSupport.h"

#include <tuple>

using namespace glimra::capture;
using Outcome = SelectionModel::Outcome;

namespace {

const QRect kDesktop(0, 0, 1920, 1080);

void drag(SelectionModel& model, QPoint from, QPoint to, Qt::MouseButton button = Qt::LeftButton)
{
    model.press(from, button);
    model.move((from + to) / 2);
    model.release(to, button);
}

} // namespace

TEST(AreaSelection, DragsInAnyDirectionSelectTheirRectangleCutToTheDesktop)
{
    // A grabbed pointer reports positions beyond the outer monitors while the button is held.
    const QRect desktop(-1280, 0, 3200, 1080);
    const QRect middle(100, 100, 300, 200);
    // The last is small, but deliberate.
    const std::tuple<QPoint, QPoint, QRect> drags[] = {
        {{100, 100}, {400, 300}, middle},
        {{400, 300}, {100, 100}, middle},
        {{100, 300}, {400, 100}, middle},
        {{400, 100}, {100, 300}, middle},
        {{1800, 1000}, {2100, 1300}, QRect(1800, 1000, 120, 80)},
        {{-1200, 50}, {-1500, 10}, QRect(-1280, 10, 80, 40)},
        {{500, 500}, {503, 501}, QRect(500, 500, 3, 1)}};
    for (const auto& [from, to, expected] : drags) {
        SCOPED_TRACE(::testing::Message() << "from " << from.x() << "," << from.y());
        SelectionModel model(CaptureMode::Area, desktop, {});
        model.press(from, Qt::LeftButton);
        model.move(to);
        EXPECT_EQ(model.highlight(), expected); // what the overlay shows
        model.release(to, Qt::LeftButton);
        model.cancel(); // too late: the capture is decided
        EXPECT_EQ(model.outcome(), Outcome::Done);
        EXPECT_EQ(model.result(), expected);
    }
}

TEST(AreaSelection, ClicksAndWobblesKeepWaitingUntilARightClickCancels)
{
    SelectionModel model(CaptureMode::Area, kDesktop, {});
    model.release(QPoint(300, 300), Qt::LeftButton); // release of a press made before we ran
    drag(model, {500, 500}, {500, 500});
    drag(model, {500, 500}, {501, 502});
    drag(model, {500, 500}, {800, 500}); // a line holds no pixels
    drag(model, {10, 10}, {300, 300}, Qt::MiddleButton);
    EXPECT_EQ(model.outcome(), Outcome::Pending);
    EXPECT_TRUE(model.highlight().isEmpty());
    // Even in the middle of a drag.
    model.press({10, 10}, Qt::LeftButton);
    model.move({200, 200});
    model.press({200, 200}, Qt::RightButton);
    model.release({200, 200}, Qt::LeftButton);
    EXPECT_EQ(model.outcome(), Outcome::Cancelled);
}

TEST(WindowSelection, HighlightAndClickFollowTheTopmostWindowCutToTheDesktop)
{
    // Bottom to top: a maximised window, a dialog, a tool window overlapping the dialog, and a
    // window dragged half off the left edge with its title bar above the top edge.
    const std::vector<WindowFrame> stack = {{1, QRect(0, 0, 1920, 1040)},
                                            {2, QRect(400, 300, 600, 400)},
                                            {3, QRect(900, 600, 200, 200)},
                                            {4, QRect(-300, -20, 700, 500)}};
    const QRect cut(0, 0, 400, 480);
    SelectionModel model(CaptureMode::Window, kDesktop, stack);
    EXPECT_TRUE(model.highlight().isEmpty()); // pointer position not known yet
    const std::pair<QPoint, QRect> hovers[] = {
        {{500, 400}, stack[1].frame},  {{950, 650}, stack[2].frame}, {{999, 699}, stack[2].frame},
        {{1000, 500}, stack[0].frame}, {{10, 1050}, QRect()},        {{10, 10}, cut},
    };
    for (const auto& [point, expected] : hovers) {
        model.move(point);
        EXPECT_EQ(model.highlight(), expected) << point.x() << "," << point.y();
    }
    drag(model, {10, 1050}, {10, 1050}); // the bare desktop is no window: keep waiting
    EXPECT_EQ(model.outcome(), Outcome::Pending);
    drag(model, {100, 100}, {950, 650}); // the window pressed on wins, wherever the release is
    EXPECT_EQ(model.result(), cut);
}
