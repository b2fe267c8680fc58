// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/x11/X11WindowMover.h"
#include "windows/WindowTilingManager.h"

#include "TestSupport.h"
#include "XClient.h"

#include <QDebug>
#include <QProcess>
#include <xcb/xcb.h>

namespace {

using P = TilePosition;

// A wide screen of its own with openbox on it, so that monitors and panels can be rearranged
// without disturbing the session the other tests share.
class X11Tiling : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        desktop = new PrivateDesktop({2560, 1024}, QStringLiteral(OPENBOX_RC));
        display = desktop->display();
        ASSERT_FALSE(display.isEmpty());
    }
    static void TearDownTestSuite() { delete desktop; }
    // The next test must not find this one's panel still managed.
    void TearDown() override { EXPECT_TRUE(x.closeAll()); }

    void expectTiles(X11WindowMover& mover, uint32_t w, const QList<std::pair<P, QRect>>& cases)
    {
        WindowTilingManager manager(&mover);
        for (const auto& [position, expected] : cases) {
            manager.tileWindow(position);
            EXPECT_TRUE(
                waitUntil([&] { return x.frameOf(w) == expected; }, std::chrono::seconds(2)))
                << tilePositionName(position).toStdString() << " at "
                << QDebug::toString(x.frameOf(w)).toStdString();
        }
    }

    static inline PrivateDesktop* desktop = nullptr;
    static inline QByteArray display;
    XClient x{display};
};

TEST_F(X11Tiling, framesFillEveryPositionOfALoneScreen)
{
    X11WindowMover mover(display);
    const uint32_t w = x.open({200, 150, 300, 200});
    const QList<std::pair<P, QRect>> all{
        {P::LeftHalf, {0, 0, 1280, 1024}},    {P::RightHalf, {1280, 0, 1280, 1024}},
        {P::TopLeft, {0, 0, 1280, 512}},      {P::TopRight, {1280, 0, 1280, 512}},
        {P::BottomLeft, {0, 512, 1280, 512}}, {P::BottomRight, {1280, 512, 1280, 512}},
        {P::Center, {512, 205, 1536, 614}},   {P::Maximize, {0, 0, 2560, 1024}},
    };
    expectTiles(mover, w, all);
    // Window managers without the EWMH move message get a plain configure request.
    mover.setPreferConfigureRequests(true);
    expectTiles(mover, w,
                {{P::TopRight, {1280, 0, 1280, 512}}, {P::Center, {512, 205, 1536, 614}}});
}

TEST_F(X11Tiling, keepsClearOfAPanelAndRestoresAMaximisedOrFullScreenWindow)
{
    const uint32_t panel = x.open({0, 984, 2560, 40}, {0, 0, 0, 40, 0, 0, 0, 0, 0, 0, 0, 2559});
    X11WindowMover mover(display);
    const uint32_t w = x.open({200, 150, 300, 200});
    expectTiles(mover, w,
                {{P::LeftHalf, {0, 0, 1280, 984}}, {P::BottomRight, {1280, 492, 1280, 492}}});

    const std::pair<std::vector<const char*>, QRect> states[] = {
        {{"_NET_WM_STATE_MAXIMIZED_VERT", "_NET_WM_STATE_MAXIMIZED_HORZ"}, {0, 0, 2560, 984}},
        {{"_NET_WM_STATE_FULLSCREEN"}, {0, 0, 2560, 1024}}};
    for (const auto& [names, spread] : states) {
        x.message(w, "_NET_WM_STATE",
                  {1, x.atom(names.front()), names.size() > 1 ? x.atom(names.back()) : 0, 2, 0});
        ASSERT_TRUE(waitUntil([&] { return x.frameOf(w) == spread; })) << names.front();
        expectTiles(mover, w, {{P::Center, {512, 197, 1536, 590}}});
        EXPECT_TRUE(x.property(w, "_NET_WM_STATE").empty()) << names.front();
    }

    // With the desktop or a panel in front there is nothing to tile, not even itself.
    const uint32_t desk = x.open({0, 0, 400, 300});
    x.setProperty(desk, "_NET_WM_WINDOW_TYPE", XCB_ATOM_ATOM,
                  {x.atom("_NET_WM_WINDOW_TYPE_DESKTOP")});
    for (const uint32_t active : {panel, desk}) {
        x.setProperty(x.root(), "_NET_ACTIVE_WINDOW", XCB_ATOM_WINDOW, {active});
        const QList<QRect> before{x.frameOf(active), x.frameOf(w)};
        WindowTilingManager(&mover).tileWindow(P::LeftHalf);
        EXPECT_TRUE(holdsFor(
            [&] {
                return QList{x.frameOf(active), x.frameOf(w)} == before;
            },
            std::chrono::milliseconds(300)));
    }
}

TEST_F(X11Tiling, staysOnItsMonitorAndAvoidsOnlyThatMonitorsPanel)
{
    const auto xrandr = [](QStringList args) {
        args.prepend(QString::fromLatin1(display));
        EXPECT_EQ(QProcess::execute(u"xrandr"_s, QStringList{u"-d"_s} + args), 0);
    };
    // Two monitors side by side on the one wide screen; the left takes over the real output.
    xrandr({u"--setmonitor"_s, u"TEST-LEFT"_s, u"1280/338x1024/270+0+0"_s, u"screen"_s});
    xrandr({u"--setmonitor"_s, u"TEST-RIGHT"_s, u"1280/338x1024/270+1280+0"_s, u"none"_s});
    x.open({1280, 0, 1280, 30}, {0, 0, 30, 0, 0, 0, 0, 0, 1280, 2559, 0, 0});
    X11WindowMover mover(display);
    ASSERT_EQ(mover.monitors().size(), 2);
    // Each later tile starts from a corner on the monitor's top or left edge.
    expectTiles(mover, x.open({1500, 300, 300, 200}),
                {{P::TopLeft, {1280, 30, 640, 497}},
                 {P::BottomRight, {1920, 527, 640, 497}},
                 {P::LeftHalf, {1280, 30, 640, 994}}});
    expectTiles(mover, x.open({100, 300, 300, 200}),
                {{P::TopLeft, {0, 0, 640, 512}}, {P::RightHalf, {640, 0, 640, 1024}}});
    xrandr({u"--delmonitor"_s, u"TEST-LEFT"_s});
    xrandr({u"--delmonitor"_s, u"TEST-RIGHT"_s});
}

} // namespace
