#include "CaptureGeometry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace glimra::capture;

namespace {

struct Layout {
    std::string name;
    std::vector<Monitor> monitors;
    QRect desktop; // expected, device pixels
};

// Layouts users actually run: a laptop beside a monitor on either side, monitors stacked,
// HiDPI panels next to normal ones, fractional scaling, and gaps between monitors.
std::vector<Layout> layouts()
{
    return {
        {"single", {{QRect(0, 0, 1920, 1080), 1.0}}, QRect(0, 0, 1920, 1080)},
        {"side by side, different heights",
         {{QRect(0, 0, 1920, 1080), 1.0}, {QRect(1920, 0, 1280, 1024), 1.0}},
         QRect(0, 0, 3200, 1080)},
        {"second monitor left of the primary",
         {{QRect(0, 0, 1920, 1080), 1.0}, {QRect(-1280, 200, 1280, 1024), 1.0}},
         QRect(-1280, 0, 3200, 1224)},
        {"stacked above",
         {{QRect(0, 0, 1920, 1080), 1.0}, {QRect(320, -900, 1440, 900), 1.0}},
         QRect(0, -900, 1920, 1980)},
        {"HiDPI laptop beside a normal monitor",
         {{QRect(0, 0, 1280, 800), 2.0}, {QRect(2560, 0, 1920, 1080), 1.0}},
         QRect(0, 0, 4480, 1600)},
        {"fractional scaling", {{QRect(0, 0, 1707, 960), 1.5}}, QRect(0, 0, 2561, 1440)},
        {"gap between monitors",
         {{QRect(0, 0, 1000, 800), 1.0}, {QRect(1200, 0, 800, 600), 1.0}},
         QRect(0, 0, 2000, 800)},
    };
}

} // namespace

TEST(CaptureGeometry, DesktopSpansEveryMonitorInDevicePixels)
{
    for (const Layout& layout : layouts())
        EXPECT_EQ(desktopRect(layout.monitors), layout.desktop) << layout.name;
    EXPECT_TRUE(desktopRect({}).isEmpty());
    EXPECT_EQ(deviceRect({QRect(-1280, 200, 1280, 1024), 2.0}), QRect(-1280, 200, 2560, 2048));
}

TEST(CaptureGeometry, LogicalAndDevicePositionsRoundTripOnEveryMonitor)
{
    for (const Layout& layout : layouts()) {
        for (const Monitor& m : layout.monitors) {
            const QRect device = deviceRect(m);
            // Corners and the middle of each monitor, in device pixels.
            for (const QPoint p : {device.topLeft(), device.bottomRight(), device.center(),
                                   QPoint(device.right(), device.top())}) {
                const QPointF logical = deviceToLogical(layout.monitors, p);
                EXPECT_TRUE(QRectF(m.logical).contains(logical))
                    << layout.name << " device " << p.x() << "," << p.y();
                EXPECT_EQ(logicalToDevice(layout.monitors, logical), p)
                    << layout.name << " device " << p.x() << "," << p.y();
            }
        }
    }
}

TEST(CaptureGeometry, MonitorEdgesAndGapsMapToTheRightMonitor)
{
    const std::vector<Monitor> monitors = {{QRect(0, 0, 1280, 800), 2.0},
                                           {QRect(2560, 0, 1920, 1080), 1.0}};
    // The first logical column of the second monitor is its first device column, not a
    // position scaled by the HiDPI monitor's ratio.
    EXPECT_EQ(logicalToDevice(monitors, QPointF(2560, 10)), QPoint(2560, 10));
    EXPECT_EQ(logicalToDevice(monitors, QPointF(1279.5, 0)), QPoint(2559, 0));
    // Between the two (logical 1280..2559 belongs to neither): the nearer monitor maps it.
    EXPECT_EQ(logicalToDevice(monitors, QPointF(2500, 10)), QPoint(2500, 10));
    EXPECT_EQ(logicalToDevice({}, QPointF(12.4, 7.6)), QPoint(12, 8));
}

TEST(CaptureGeometry, WindowLocalPositionsMapThroughTheWindowsOwnScale)
{
    // A window on a monitor at device (-1280, 200) with ratio 2: local (10.5, 20) is device
    // pixel (21, 40) from its corner.
    EXPECT_EQ(localToDevice(QPointF(10.5, 20), QPoint(-1280, 200), 2.0), QPoint(-1259, 240));
    // A grabbed pointer beyond the window's edge keeps mapping linearly (negative locals too).
    EXPECT_EQ(localToDevice(QPointF(-5, 1100), QPoint(1920, 0), 1.0), QPoint(1915, 1100));
    // Fractional ratios recover the device pixel Qt divided.
    for (int device = 0; device < 200; ++device)
        ASSERT_EQ(localToDevice(QPointF(device / 1.5, 0), QPoint(0, 0), 1.5).x(), device);

    const QRect r(-1200, 260, 300, 200);
    const QRectF local = deviceToLocal(r, QPoint(-1280, 200), 2.0);
    EXPECT_EQ(local, QRectF(40, 30, 150, 100));
    EXPECT_EQ(localToDevice(local.topLeft(), QPoint(-1280, 200), 2.0), r.topLeft());
}

TEST(CaptureGeometry, ImagePixelsStartAtTheDesktopCorner)
{
    const QRect desktop(-1280, 0, 3200, 1224);
    EXPECT_EQ(deviceToImage(QRect(-1280, 0, 10, 10), desktop), QRect(0, 0, 10, 10));
    EXPECT_EQ(deviceToImage(QRect(1900, 1200, 100, 100), desktop), QRect(3180, 1200, 20, 24));
    EXPECT_TRUE(deviceToImage(QRect(-2000, 0, 100, 100), desktop).isEmpty());
}
