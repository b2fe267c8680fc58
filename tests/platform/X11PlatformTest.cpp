// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/x11/X11MouseMonitor.h"

#include "TestSupport.h"
#include "XClient.h"

#include <QWindow>

TEST(X11MouseMonitor, seesPressesThatGoToOtherWindows)
{
    X11MouseMonitor monitor;
    ASSERT_TRUE(monitor.start());
    QList<QPoint> presses;
    QObject::connect(&monitor, &GlobalMouseMonitor::mousePressed,
                     [&](QPoint p) { presses.append(p); });
    processEvents(std::chrono::milliseconds(50));

    xdotool(u"mousemove 321 123 click 3"_s);
    ASSERT_TRUE(waitUntil([&] { return !presses.isEmpty(); }));
    EXPECT_EQ(presses.constFirst(), QPoint(321, 123));

    // A menu or a drag of another client holds the pointer; the press is seen all the same.
    presses.clear();
    QWindow holder;
    holder.show();
    // The right click has opened the window manager's desktop menu, which holds the pointer.
    xdotool(u"key Escape"_s);
    ASSERT_TRUE(waitUntil([&] { return holder.setMouseGrabEnabled(true); }));
    xdotool(u"mousemove 40 50 click 1"_s);
    EXPECT_TRUE(waitUntil([&] { return !presses.isEmpty(); }));
    holder.setMouseGrabEnabled(false);

    presses.clear();
    monitor.stop();
    xdotool(u"click 1"_s);
    EXPECT_TRUE(holdsFor([&] { return presses.isEmpty(); }, std::chrono::milliseconds(150)));
}
