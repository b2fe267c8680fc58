// SPDX-License-Identifier: GPL-3.0-or-later
#include "windows/WindowTilingManager.h"

#include "TestSupport.h"

namespace {

using P = TilePosition;

TEST(TileRect, splitsTheUsableAreaOfAScreenWithPanelsAboveAndBelow)
{
    // 1440x900 with 25 reserved at the top and 70 at the bottom.
    const QRect usable(0, 25, 1440, 805);
    const std::pair<P, QRect> cases[] = {
        {P::LeftHalf, {0, 25, 720, 805}},    {P::RightHalf, {720, 25, 720, 805}},
        {P::TopLeft, {0, 25, 720, 403}},     {P::TopRight, {720, 25, 720, 403}},
        {P::BottomLeft, {0, 428, 720, 402}}, {P::BottomRight, {720, 428, 720, 402}},
        {P::Center, {288, 186, 864, 483}},   {P::Maximize, {0, 25, 1440, 805}},
    };
    for (const auto& [position, expected] : cases)
        EXPECT_EQ(tileRect(usable, position), expected) << tilePositionName(position).data();
    // Odd sizes and negative origins: neighbours share their edges, no gap and no overlap.
    for (const QRect area : {QRect(-1281, -7, 1281, 1023), QRect(3, 30, 1, 1)}) {
        EXPECT_EQ(tileRect(area, P::TopLeft).united(tileRect(area, P::BottomRight)), area);
        EXPECT_EQ(tileRect(area, P::TopRight).united(tileRect(area, P::BottomLeft)), area);
        EXPECT_EQ(tileRect(area, P::LeftHalf).right() + 1, tileRect(area, P::RightHalf).left());
        EXPECT_EQ(tileRect(area, P::TopLeft).bottom() + 1, tileRect(area, P::BottomLeft).top());
    }
}

TEST(MonitorForFrame, picksTheMonitorHoldingTheTopLeftCorner)
{
    // A monitor above the primary and a taller one to its left whose top lies higher; the
    // primary comes last so that a wrongly included edge would pick an earlier one.
    const QList<Monitor> layout{{{0, -1080, 1920, 1080}, {}, false},
                                {{-1280, -200, 1280, 1400}, {}, false},
                                {{0, 0, 1920, 1080}, {}, true}};
    const std::tuple<QRect, int, const char*> cases[] = {
        {{-1280, -200, 300, 200}, 1, "on the left monitor's top-left corner"},
        {{0, 0, 300, 200}, 2, "top and left edges belong to the monitor, bottom and right not"},
        {{-1, 500, 300, 200}, 1, "last column of the left monitor"},
        {{-600, 1200, 300, 200}, 2, "below the left monitor's bottom edge: the primary"},
        {{-1300, 300, 600, 200}, 1, "corner off the desktop, frame mostly on the left monitor"},
        {{-1300, -1300, 30, 30}, 2, "on no monitor at all: the primary"},
    };
    for (const auto& [frame, expected, why] : cases)
        EXPECT_EQ(monitorForFrame(layout, frame), expected) << why;
    EXPECT_EQ(monitorForFrame({}, {0, 0, 10, 10}), -1);
}

} // namespace
