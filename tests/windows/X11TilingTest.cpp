#include "platform/x11/X11WindowMover.h"
#include "windows/WindowTilingManager.h"

#include "TestSupport.h"

#include <QProcess>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <sys/prctl.h>
#include <xcb/xcb.h>

using namespace Qt::StringLiterals;
using namespace glimra;
using namespace glimra::test;

namespace {

using P = TilePosition;
using Values = std::vector<uint32_t>;

// A wide screen of its own with openbox on it, so that monitors and panels can be rearranged
// without disturbing the session the other tests share.
class X11Tiling : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        xvfb = new QProcess;
        wm = new QProcess;
        // Neither may outlive a test binary that crashed.
        for (QProcess* p : {xvfb, wm})
            p->setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
        // -displayfd 1: the server prints the free display number it took.
        xvfb->start(u"Xvfb"_s, {u"-displayfd"_s, u"1"_s, u"-screen"_s, u"0"_s, u"2560x1024x24"_s,
                                u"-nolisten"_s, u"tcp"_s, u"-noreset"_s});
        ASSERT_TRUE(waitUntil([] { return xvfb->canReadLine(); }));
        display = ":" + xvfb->readLine().trimmed();
        c = xcb_connect(display.constData(), nullptr);
        root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"DISPLAY"_s, QString::fromLatin1(display));
        wm->setProcessEnvironment(env);
        wm->start(u"openbox"_s,
                  {u"--sm-disable"_s, u"--config-file"_s, QStringLiteral(OPENBOX_RC)});
        ASSERT_TRUE(waitUntil([] { return !property(root, "_NET_SUPPORTING_WM_CHECK").empty(); }));
    }
    static void TearDownTestSuite()
    {
        xcb_disconnect(c);
        for (QProcess* p : {wm, xvfb}) {
            p->terminate();
            p->waitForFinished();
            delete p;
        }
    }
    void TearDown() override
    {
        for (xcb_window_t w : m_windows)
            xcb_destroy_window(c, w);
        xcb_flush(c);
        // The next test must not find this one's panel still managed.
        EXPECT_TRUE(waitUntil([] { return property(root, "_NET_CLIENT_LIST").empty(); }));
    }

    static xcb_atom_t atom(const char* name)
    {
        auto* r = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(strlen(name)), name), 0);
        const xcb_atom_t a = r->atom;
        std::free(r);
        return a;
    }
    static Values property(xcb_window_t w, const char* name)
    {
        auto* r = xcb_get_property_reply(
            c, xcb_get_property(c, 0, w, atom(name), XCB_GET_PROPERTY_TYPE_ANY, 0, 64), 0);
        const auto* d = static_cast<const uint32_t*>(xcb_get_property_value(r));
        Values v(d, d + (r->format == 32 ? xcb_get_property_value_length(r) / 4 : 0));
        std::free(r);
        return v;
    }
    static void message(xcb_window_t w, const char* type, Values data)
    {
        xcb_client_message_event_t e{XCB_CLIENT_MESSAGE, 32, 0, w, atom(type), {}};
        std::copy(data.begin(), data.end(), e.data.data32);
        xcb_send_event(c, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                       reinterpret_cast<const char*>(&e));
        xcb_flush(c);
    }
    // A bare window with no size hints, its position marked as the user's so that openbox
    // leaves it on the monitor the test chose; with a strut, a panel.
    xcb_window_t open(QRect r, Values strut = {})
    {
        const xcb_window_t w = xcb_generate_id(c);
        xcb_create_window(c, 0, w, root, int16_t(r.x()), int16_t(r.y()), uint16_t(r.width()),
                          uint16_t(r.height()), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, 0, 0, nullptr);
        Values hints(18, 0);
        hints[0] = 1; // USPosition, and nothing about the size
        setProperty(w, "WM_NORMAL_HINTS", XCB_ATOM_WM_SIZE_HINTS, hints);
        if (!strut.empty()) {
            setProperty(w, "_NET_WM_WINDOW_TYPE", XCB_ATOM_ATOM,
                        {atom("_NET_WM_WINDOW_TYPE_DOCK")});
            setProperty(w, "_NET_WM_STRUT_PARTIAL", XCB_ATOM_CARDINAL, strut);
        }
        xcb_map_window(c, w);
        m_windows.push_back(w);
        // Openbox announces itself before it reads events, and a request arriving in between
        // waits for the next event to wake it: the activation request is repeated until then.
        EXPECT_TRUE(waitUntil([&] {
            message(w, "_NET_ACTIVE_WINDOW", {2, 0, 0, 0, 0});
            const Values v =
                property(root, strut.empty() ? "_NET_ACTIVE_WINDOW" : "_NET_CLIENT_LIST");
            return !v.empty() && v.back() == w;
        }));
        return w;
    }
    static void setProperty(xcb_window_t w, const char* name, xcb_atom_t type, const Values& v)
    {
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, atom(name), type, 32, uint32_t(v.size()),
                            v.data());
    }

    // The outermost window openbox wrapped the client in, as the server measures it.
    static QRect frameOf(xcb_window_t w)
    {
        for (;;) {
            auto* t = xcb_query_tree_reply(c, xcb_query_tree(c, w), 0);
            const xcb_window_t parent = t->parent;
            std::free(t);
            if (parent == root)
                break;
            w = parent;
        }
        auto* g = xcb_get_geometry_reply(c, xcb_get_geometry(c, w), 0);
        const QRect r(g->x, g->y, g->width + 2 * g->border_width, g->height + 2 * g->border_width);
        std::free(g);
        return r;
    }

    void expectTiles(X11WindowMover& mover, xcb_window_t w, const QList<std::pair<P, QRect>>& cases)
    {
        WindowTilingManager manager(mover);
        for (const auto& [position, expected] : cases) {
            manager.tileWindow(position);
            EXPECT_TRUE(waitUntil([&] { return frameOf(w) == expected; }, std::chrono::seconds(2)))
                << tilePositionName(position).toStdString();
        }
    }

    static inline QProcess *xvfb = nullptr, *wm = nullptr;
    static inline QByteArray display;
    static inline xcb_connection_t* c = nullptr;
    static inline xcb_window_t root = 0;
    std::vector<xcb_window_t> m_windows;
};

TEST_F(X11Tiling, framesFillEveryPositionOfALoneScreen)
{
    X11WindowMover mover(display);
    const xcb_window_t w = open({200, 150, 300, 200});
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

TEST_F(X11Tiling, keepsClearOfAPanelAndRestoresAMaximisedWindow)
{
    open({0, 984, 2560, 40}, {0, 0, 0, 40, 0, 0, 0, 0, 0, 0, 0, 2559});
    X11WindowMover mover(display);
    const xcb_window_t w = open({200, 150, 300, 200});
    expectTiles(mover, w,
                {{P::LeftHalf, {0, 0, 1280, 984}}, {P::BottomRight, {1280, 492, 1280, 492}}});

    message(w, "_NET_WM_STATE",
            {1, atom("_NET_WM_STATE_MAXIMIZED_VERT"), atom("_NET_WM_STATE_MAXIMIZED_HORZ"), 2, 0});
    ASSERT_TRUE(waitUntil([&] { return frameOf(w) == QRect(0, 0, 2560, 984); }));
    expectTiles(mover, w, {{P::Center, {512, 197, 1536, 590}}});
    EXPECT_TRUE(property(w, "_NET_WM_STATE").empty());
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
    open({1280, 0, 1280, 30}, {0, 0, 30, 0, 0, 0, 0, 0, 1280, 2559, 0, 0});
    X11WindowMover mover(display);
    ASSERT_EQ(mover.monitors().size(), 2);
    // Each later tile starts from a corner on the monitor's top or left edge.
    expectTiles(mover, open({1500, 300, 300, 200}),
                {{P::TopLeft, {1280, 30, 640, 497}},
                 {P::BottomRight, {1920, 527, 640, 497}},
                 {P::LeftHalf, {1280, 30, 640, 994}}});
    expectTiles(mover, open({100, 300, 300, 200}),
                {{P::TopLeft, {0, 0, 640, 512}}, {P::RightHalf, {640, 0, 640, 1024}}});
    xrandr({u"--delmonitor"_s, u"TEST-LEFT"_s});
    xrandr({u"--delmonitor"_s, u"TEST-RIGHT"_s});
}

} // namespace
