// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/x11/X11MouseMonitor.h"

#include <QSocketNotifier>

#include <cstdlib>
#include <xcb/xcb.h>
#include <xcb/xinput.h>

namespace glimra {

// A connection of our own: Qt's connection would hand the raw events to Qt's own dispatcher.
struct X11MouseMonitor::Connection {
    xcb_connection_t* c = nullptr;
    xcb_window_t root = 0;
    uint8_t xiOpcode = 0;
    ~Connection()
    {
        if (c)
            xcb_disconnect(c);
    }
};

X11MouseMonitor::X11MouseMonitor(QObject* parent) : GlobalMouseMonitor(parent) {}

X11MouseMonitor::~X11MouseMonitor()
{
    stop();
}

bool X11MouseMonitor::start()
{
    if (m_conn)
        return true;
    auto conn = std::make_unique<Connection>();
    int screenNumber = 0;
    conn->c = xcb_connect(nullptr, &screenNumber);
    if (!conn->c || xcb_connection_has_error(conn->c))
        return false;
    const xcb_query_extension_reply_t* ext = xcb_get_extension_data(conn->c, &xcb_input_id);
    if (!ext || !ext->present)
        return false;
    conn->xiOpcode = ext->major_opcode;
    // The server reports raw events to a client that announced 2.0 only while nobody holds a
    // grab; from 2.1 on they arrive always, so a press on a menu or a dragged selection of
    // another program still closes the popover. The reply is the lower of both versions.
    auto* version = xcb_input_xi_query_version_reply(
        conn->c, xcb_input_xi_query_version(conn->c, 2, 2), nullptr);
    const bool hasRawUnderGrabs =
        version && (version->major_version > 2 ||
                    (version->major_version == 2 && version->minor_version >= 1));
    std::free(version);
    if (!hasRawUnderGrabs)
        return false;

    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(conn->c));
    for (int i = 0; i < screenNumber && it.rem; ++i)
        xcb_screen_next(&it);
    conn->root = it.data->root;

    struct {
        xcb_input_event_mask_t head;
        uint32_t bits;
    } mask{};
    mask.head.deviceid = XCB_INPUT_DEVICE_ALL_MASTER;
    mask.head.mask_len = 1;
    mask.bits = XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS;
    xcb_input_xi_select_events(conn->c, conn->root, 1, &mask.head);
    xcb_flush(conn->c);

    m_conn = std::move(conn);
    m_notifier =
        new QSocketNotifier(xcb_get_file_descriptor(m_conn->c), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &X11MouseMonitor::drain);
    return true;
}

void X11MouseMonitor::stop()
{
    delete m_notifier;
    m_notifier = nullptr;
    m_conn.reset();
}

void X11MouseMonitor::drain()
{
    if (!m_conn)
        return;
    bool pressed = false;
    while (xcb_generic_event_t* event = xcb_poll_for_event(m_conn->c)) {
        if ((event->response_type & 0x7f) == XCB_GE_GENERIC) {
            const auto* ge = reinterpret_cast<const xcb_ge_generic_event_t*>(event);
            if (ge->extension == m_conn->xiOpcode && ge->event_type == XCB_INPUT_RAW_BUTTON_PRESS) {
                const auto* raw =
                    reinterpret_cast<const xcb_input_raw_button_press_event_t*>(event);
                // 1 is the left button, 3 the right; the wheel reports as 4 to 7.
                if (raw->detail == 1 || raw->detail == 3)
                    pressed = true;
            }
        }
        std::free(event);
    }
    if (xcb_connection_has_error(m_conn->c)) {
        stop();
        return;
    }
    if (!pressed)
        return;
    auto* pointer =
        xcb_query_pointer_reply(m_conn->c, xcb_query_pointer(m_conn->c, m_conn->root), nullptr);
    if (!pointer)
        return;
    const QPoint position(pointer->root_x, pointer->root_y);
    std::free(pointer);
    Q_EMIT mousePressed(position);
}

} // namespace glimra
