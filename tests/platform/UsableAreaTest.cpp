// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/x11/UsableArea.h"

#include "TestSupport.h"

#include <vector>

namespace {

Strut strut(std::vector<uint32_t> v, QSize screen)
{
    return *strutFromValues(v, screen);
}

TEST(UsableArea, appliesEachPanelOnlyToTheMonitorItSitsOn)
{
    const QSize wide(2560, 1024), stacked(1920, 2160);
    const QRect left(0, 0, 1280, 1024), shortRight(1280, 0, 1280, 768);
    const QRect upper(0, 0, 1920, 1080), lower(0, 1080, 1920, 1080);
    // The 768-high right monitor has a 40-high panel at its bottom, which the strut measures
    // from the bottom of the whole 1024-high root window.
    const QList<Strut> shortBottom{strut({0, 0, 0, 296, 0, 0, 0, 0, 0, 0, 1280, 2559}, wide)};
    // Stacked monitors: a panel on top of the lower one reserves from the root's top edge.
    const QList<Strut> lowerTop{strut({0, 0, 1110, 0, 0, 0, 0, 0, 0, 1919, 0, 0}, stacked)};
    const QList<Strut> oldLeft{strut({48, 0, 0, 0}, wide)};
    const QList<Strut> crossing{strut({1000, 0, 0, 0, 0, 1023, 0, 0, 0, 0, 0, 0}, wide),
                                strut({0, 2460, 0, 0, 0, 0, 0, 1023, 0, 0, 0, 0}, wide)};
    const QRect area(0, 0, 2560, 728); // what a window manager makes of the short monitor's panel
    using Struts = std::optional<QList<Strut>>;
    const std::tuple<const char*, QSize, QRect, Struts, std::optional<QRect>, int, QRect> cases[] =
        {
            {"shorter monitor", wide, shortRight, shortBottom, area, 2, {1280, 0, 1280, 728}},
            {"taller neighbour untouched", wide, left, shortBottom, area, 2, left},
            {"upper monitor untouched", stacked, upper, lowerTop, {}, 2, upper},
            {"lower monitor", stacked, lower, lowerTop, {}, 2, {0, 1110, 1920, 1050}},
            {"old-style strut spans its edge", wide, left, oldLeft, {}, 2, {48, 0, 1232, 1024}},
            {"no client list: work area clipped", wide, left, {}, area, 2, {0, 0, 1280, 728}},
            {"lone monitor keeps the margins",
             wide,
             {0, 0, 2560, 1024},
             QList<Strut>{},
             QRect(10, 10, 2540, 1004),
             1,
             {10, 10, 2540, 1004}},
            {"everything reserved", wide, left, crossing, {}, 2, left},
        };
    for (const auto& [why, screen, monitor, struts, workArea, count, expected] : cases)
        EXPECT_EQ(usableArea(monitor, screen, struts, workArea, count), expected) << why;
    EXPECT_FALSE(strutFromValues(std::vector<uint32_t>{1, 2, 3}, wide));
}

} // namespace
