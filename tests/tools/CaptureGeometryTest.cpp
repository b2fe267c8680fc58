// SPDX-License-Identifier: GPL-3.0-or-later
#include "CaptureGeometry.h"

#include "TestSupport.h"

using namespace glimra::capture;

// Layouts users run: monitors left of or above the primary (negative coordinates), a HiDPI
// panel beside or left of a normal monitor, fractional scaling, and a gap between monitors.
TEST(CaptureGeometry, EveryLayoutSpansItsMonitorsAndMapsPositionsBothWays)
{
    auto m = [](int x, int y, int w, int h, qreal r = 1) { return Monitor{QRect(x, y, w, h), r}; };
    const std::pair<std::vector<Monitor>, QRect> layouts[] = {
        {{m(0, 0, 1920, 1080), m(-1280, 200, 1280, 1024)}, QRect(-1280, 0, 3200, 1224)},
        {{m(0, 0, 1280, 800, 2.0), m(2560, 0, 1920, 1080)}, QRect(0, 0, 4480, 1600)},
        {{m(0, 0, 1920, 1080), m(-2560, -200, 1280, 800, 2.0)}, QRect(-2560, -200, 4480, 1600)},
        {{m(0, 0, 1707, 960, 1.5)}, QRect(0, 0, 2561, 1440)},
        {{m(0, 0, 1000, 800), m(1200, 0, 800, 600)}, QRect(0, 0, 2000, 800)},
    };
    for (const auto& [monitors, desktop] : layouts) {
        SCOPED_TRACE(::testing::Message() << "desktop " << desktop.x() << "+" << desktop.width());
        EXPECT_EQ(desktopRect(monitors), desktop);
        for (const Monitor& monitor : monitors) {
            const QRect d = deviceRect(monitor);
            for (const QPoint p : {d.topLeft(), d.bottomRight(), d.center(), d.topRight()}) {
                const QPointF logical = deviceToLogical(monitors, p);
                EXPECT_TRUE(QRectF(monitor.logical).contains(logical)) << p.x() << "," << p.y();
                EXPECT_EQ(logicalToDevice(monitors, logical), p) << p.x() << "," << p.y();
            }
        }
    }
    EXPECT_TRUE(desktopRect({}).isEmpty());
}

TEST(CaptureGeometry, EdgesGapsAndWindowsMapThroughTheRightScale)
{
    const std::vector<Monitor> monitors = {{QRect(0, 0, 1280, 800), 2.0},
                                           {QRect(2560, 0, 1920, 1080), 1.0}};
    // The first logical column of the second monitor is its first device column, not a
    // position scaled by the HiDPI monitor's ratio; the gap between the two (logical
    // 1280..2559) maps through the nearer monitor.
    EXPECT_EQ(logicalToDevice(monitors, QPointF(2560, 10)), QPoint(2560, 10));
    EXPECT_EQ(logicalToDevice(monitors, QPointF(1279.5, 0)), QPoint(2559, 0));
    EXPECT_EQ(logicalToDevice(monitors, QPointF(2500, 10)), QPoint(2500, 10));

    // Window-local positions scale by the window's own ratio from its device corner; a grabbed
    // pointer beyond the window's edge keeps mapping linearly.
    EXPECT_EQ(localToDevice(QPointF(10.5, 20), QPoint(-1280, 200), 2.0), QPoint(-1259, 240));
    EXPECT_EQ(localToDevice(QPointF(-5, 1100), QPoint(1920, 0), 1.0), QPoint(1915, 1100));
    EXPECT_EQ(deviceToLocal(QRect(-1200, 260, 300, 200), QPoint(-1280, 200), 2.0),
              QRectF(40, 30, 150, 100));
    // Fractional ratios recover the device pixel Qt divided.
    for (int device = 0; device < 200; ++device)
        ASSERT_EQ(localToDevice(QPointF(device / 1.5, 0), QPoint(0, 0), 1.5).x(), device);

    // Image pixels start at the desktop's corner and stop at its edges.
    const QRect desktop(-1280, 0, 3200, 1224);
    EXPECT_EQ(deviceToImage(QRect(-1280, 0, 10, 10), desktop), QRect(0, 0, 10, 10));
    EXPECT_EQ(deviceToImage(QRect(1900, 1200, 100, 100), desktop), QRect(3180, 1200, 20, 24));
    EXPECT_TRUE(deviceToImage(QRect(-2000, 0, 100, 100), desktop).isEmpty());
}
