// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ActiveWindowClass.h"

#include <QGuiApplication>

#include <cstdlib>
#include <cstring>
#include <xcb/xcb.h>

namespace glimra {

namespace {

xcb_atom_t atom(xcb_connection_t* c, const char* name)
{
    auto* reply = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 1, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
    const xcb_atom_t result = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return result;
}

} // namespace

QStringList activeWindowClass()
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* c = x11 ? x11->connection() : nullptr;
    if (!c)
        return {};
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const xcb_atom_t active = atom(c, "_NET_ACTIVE_WINDOW");
    if (active == XCB_ATOM_NONE)
        return {};
    auto* reply = xcb_get_property_reply(
        c, xcb_get_property(c, 0, root, active, XCB_ATOM_WINDOW, 0, 1), nullptr);
    xcb_window_t window = XCB_NONE;
    if (reply && reply->format == 32 && xcb_get_property_value_length(reply) >= 4)
        window = *static_cast<xcb_window_t*>(xcb_get_property_value(reply));
    std::free(reply);
    if (window == XCB_NONE)
        return {};
    reply = xcb_get_property_reply(
        c, xcb_get_property(c, 0, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 256), nullptr);
    QStringList names;
    if (reply && reply->format == 8) {
        const auto* data = static_cast<const char*>(xcb_get_property_value(reply));
        const int length = xcb_get_property_value_length(reply);
        // Two NUL-terminated strings: the instance, then the class.
        for (int start = 0, i = 0; i < length; ++i) {
            if (data[i] == '\0' || i == length - 1) {
                const int end = data[i] == '\0' ? i : i + 1;
                names.append(QString::fromLocal8Bit(data + start, end - start));
                start = i + 1;
            }
        }
    }
    std::free(reply);
    return names;
}

} // namespace glimra
