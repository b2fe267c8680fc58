#include "XTestWindows.h"

#include "TestSupport.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <xcb/xcb.h>

namespace glimra::test {

XTestWindows::XTestWindows(const QByteArray& display)
    : m_c(xcb_connect(display.isEmpty() ? nullptr : display.constData(), nullptr)),
      m_root(xcb_setup_roots_iterator(xcb_get_setup(m_c)).data->root)
{}

XTestWindows::~XTestWindows()
{
    closeAll();
    xcb_disconnect(m_c);
}

uint32_t XTestWindows::atom(const char* name)
{
    auto* r = xcb_intern_atom_reply(m_c, xcb_intern_atom(m_c, 0, uint16_t(strlen(name)), name), 0);
    const xcb_atom_t a = r ? r->atom : 0;
    std::free(r);
    return a;
}

XTestWindows::Values XTestWindows::property(uint32_t w, const char* name)
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

void XTestWindows::setProperty(uint32_t w, const char* name, uint32_t type, const Values& v)
{
    xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, w, atom(name), type, 32, uint32_t(v.size()),
                        v.data());
}

void XTestWindows::message(uint32_t w, const char* type, Values data)
{
    xcb_client_message_event_t e{XCB_CLIENT_MESSAGE, 32, 0, w, atom(type), {}};
    std::copy(data.begin(), data.end(), e.data.data32);
    xcb_send_event(m_c, 0, m_root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                   reinterpret_cast<const char*>(&e));
    xcb_flush(m_c);
}

uint32_t XTestWindows::open(QRect r, Values strut)
{
    const xcb_window_t w = xcb_generate_id(m_c);
    xcb_create_window(m_c, 0, w, m_root, int16_t(r.x()), int16_t(r.y()), uint16_t(r.width()),
                      uint16_t(r.height()), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, 0, 0, nullptr);
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

QRect XTestWindows::frameOf(uint32_t w)
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

bool XTestWindows::closeAll()
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

} // namespace glimra::test
