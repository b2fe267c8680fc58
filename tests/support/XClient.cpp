// SPDX-License-Identifier: GPL-3.0-or-later
#include "XClient.h"

#include "TestSupport.h"

#include <QProcess>
#include <QProcessEnvironment>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <sys/prctl.h>
#include <utility>
#include <xcb/xcb.h>

namespace glimra::test {

XClient::XClient(const QByteArray& display)
    : m_c(xcb_connect(display.isEmpty() ? nullptr : display.constData(), nullptr)),
      m_root(xcb_setup_roots_iterator(xcb_get_setup(m_c)).data->root)
{}

XClient::~XClient()
{
    closeAll();
    xcb_disconnect(m_c);
}

uint32_t XClient::atom(const char* name)
{
    auto* r = xcb_intern_atom_reply(m_c, xcb_intern_atom(m_c, 0, uint16_t(strlen(name)), name), 0);
    const xcb_atom_t a = r ? r->atom : 0;
    std::free(r);
    return a;
}

XClient::Values XClient::property(uint32_t w, const char* name)
{
    auto* r = xcb_get_property_reply(
        m_c, xcb_get_property(m_c, 0, w, atom(name), XCB_GET_PROPERTY_TYPE_ANY, 0, 64), 0);
    Values v;
    if (r && r->format == 32) {
        const auto* d = static_cast<const uint32_t*>(xcb_get_property_value(r));
        v.assign(d, d + xcb_get_property_value_length(r) / 4);
    }
    std::free(r);
    return v;
}

void XClient::setProperty(uint32_t w, const char* name, uint32_t type, const Values& v)
{
    xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, w, atom(name), type, 32, uint32_t(v.size()),
                        v.data());
}

void XClient::message(uint32_t w, const char* type, Values data)
{
    xcb_client_message_event_t e{XCB_CLIENT_MESSAGE, 32, 0, w, atom(type), {}};
    std::copy(data.begin(), data.end(), e.data.data32);
    xcb_send_event(m_c, 0, m_root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                   reinterpret_cast<const char*>(&e));
    xcb_flush(m_c);
}

uint32_t XClient::open(QRect r, Values strut)
{
    const xcb_window_t w = xcb_generate_id(m_c);
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data;
    const uint32_t values[] = {screen->white_pixel,
                               XCB_EVENT_MASK_KEY_PRESS | XCB_EVENT_MASK_KEY_RELEASE};
    xcb_create_window(m_c, XCB_COPY_FROM_PARENT, w, m_root, int16_t(r.x()), int16_t(r.y()),
                      uint16_t(r.width()), uint16_t(r.height()), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      screen->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK, values);
    Values hints(18, 0);
    hints[0] = 1; // USPosition, and nothing about the size
    setProperty(w, "WM_NORMAL_HINTS", XCB_ATOM_WM_SIZE_HINTS, hints);
    if (!strut.empty()) {
        setProperty(w, "_NET_WM_WINDOW_TYPE", XCB_ATOM_ATOM, {atom("_NET_WM_WINDOW_TYPE_DOCK")});
        setProperty(w, "_NET_WM_STRUT_PARTIAL", XCB_ATOM_CARDINAL, strut);
    }
    xcb_map_window(m_c, w);
    m_windows.push_back(w);
    // Openbox announces itself before it reads events, and a request arriving in between waits
    // for the next event to wake it: the activation request is repeated until it is managed.
    waitUntil([&] {
        message(w, "_NET_ACTIVE_WINDOW", {2, 0, 0, 0, 0});
        const Values v =
            property(m_root, strut.empty() ? "_NET_ACTIVE_WINDOW" : "_NET_CLIENT_LIST");
        return !v.empty() && v.back() == w;
    });
    return w;
}

QRect XClient::frameOf(uint32_t w)
{
    for (;;) {
        auto* t = xcb_query_tree_reply(m_c, xcb_query_tree(m_c, w), 0);
        const xcb_window_t parent = t ? t->parent : m_root;
        std::free(t);
        if (parent == m_root)
            break;
        w = parent;
    }
    auto* g = xcb_get_geometry_reply(m_c, xcb_get_geometry(m_c, w), 0);
    const QRect r =
        g ? QRect(g->x, g->y, g->width + 2 * g->border_width, g->height + 2 * g->border_width)
          : QRect();
    std::free(g);
    return r;
}

bool XClient::closeAll()
{
    const std::vector<uint32_t> closed = std::exchange(m_windows, {});
    for (xcb_window_t w : closed)
        xcb_destroy_window(m_c, w);
    xcb_flush(m_c);
    return waitUntil([&] {
        const Values list = property(m_root, "_NET_CLIENT_LIST");
        return std::none_of(closed.begin(), closed.end(), [&](uint32_t w) {
            return std::find(list.begin(), list.end(), w) != list.end();
        });
    });
}

PrivateDesktop::PrivateDesktop(QSize screen, const QString& rcFile)
    : m_xvfb(std::make_unique<QProcess>()), m_wm(std::make_unique<QProcess>())
{
    using namespace Qt::StringLiterals;
    for (QProcess* p : {m_xvfb.get(), m_wm.get()})
        p->setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
    // -displayfd 1: the server prints the free display number it took.
    m_xvfb->start(u"Xvfb"_s, {u"-displayfd"_s, u"1"_s, u"-screen"_s, u"0"_s,
                              u"%1x%2x24"_s.arg(screen.width()).arg(screen.height()),
                              u"-nolisten"_s, u"tcp"_s, u"-noreset"_s});
    if (!waitUntil([&] { return m_xvfb->canReadLine() || m_xvfb->waitForReadyRead(50); }))
        return;
    const QByteArray display = ":" + m_xvfb->readLine().trimmed();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"DISPLAY"_s, QString::fromLatin1(display));
    m_wm->setProcessEnvironment(env);
    m_wm->start(u"openbox"_s, {u"--sm-disable"_s, u"--config-file"_s, rcFile});
    XClient x(display);
    if (waitUntil([&] { return !x.property(x.root(), "_NET_SUPPORTING_WM_CHECK").empty(); }))
        m_display = display;
}

PrivateDesktop::~PrivateDesktop()
{
    for (QProcess* p : {m_wm.get(), m_xvfb.get()}) {
        p->terminate();
        p->waitForFinished();
    }
}

uint8_t XClient::keycodeFor(uint32_t keysym) const
{
    const xcb_setup_t* setup = xcb_get_setup(m_c);
    const int count = setup->max_keycode - setup->min_keycode + 1;
    auto* map = xcb_get_keyboard_mapping_reply(
        m_c, xcb_get_keyboard_mapping(m_c, setup->min_keycode, uint8_t(count)), nullptr);
    uint8_t found = 0;
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(map);
    for (int k = 0; k < count && !found; ++k) {
        if (syms[k * map->keysyms_per_keycode] == keysym)
            found = uint8_t(setup->min_keycode + k);
    }
    std::free(map);
    return found;
}

bool XClient::grabKey(uint8_t keycode, uint16_t modifiers)
{
    xcb_generic_error_t* error =
        xcb_request_check(m_c, xcb_grab_key_checked(m_c, 0, m_root, modifiers, keycode,
                                                    XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    std::free(error);
    return !error;
}

void XClient::ungrabKey(uint8_t keycode, uint16_t modifiers)
{
    xcb_ungrab_key(m_c, keycode, m_root, modifiers);
    xcb_flush(m_c);
}

bool XClient::isDown(uint8_t keycode) const
{
    auto* keymap = xcb_query_keymap_reply(m_c, xcb_query_keymap(m_c), nullptr);
    const bool down = keymap && (keymap->keys[keycode / 8] & (1u << (keycode % 8)));
    std::free(keymap);
    return down;
}

QList<XClient::Key> XClient::keys()
{
    while (xcb_generic_event_t* event = xcb_poll_for_event(m_c)) {
        const uint8_t type = event->response_type & 0x7f;
        if (type == XCB_KEY_PRESS || type == XCB_KEY_RELEASE) {
            auto* key = reinterpret_cast<xcb_key_press_event_t*>(event);
            m_keys.append({type == XCB_KEY_PRESS, key->detail, key->state});
        }
        std::free(event);
    }
    return m_keys;
}

QByteArray runTool(const QString& program, const QStringList& args)
{
    QProcess process;
    process.start(program, args);
    if (!waitUntil([&] { return process.state() == QProcess::NotRunning; },
                   std::chrono::seconds(15))) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    return process.readAllStandardOutput();
}

QByteArray xdotool(const QString& words)
{
    return runTool(QStringLiteral("xdotool"), words.split(QLatin1Char(' ')));
}

} // namespace glimra::test
