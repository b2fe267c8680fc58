#include "XProbe.h"

#include "TestSupport.h"

#include <QProcess>

#include <cstdlib>
#include <cstring>
#include <xcb/xcb.h>

namespace glimra::test {

XProbe::XProbe() : m_c(xcb_connect(nullptr, nullptr))
{
    m_root = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data->root;
}

XProbe::~XProbe()
{
    xcb_disconnect(m_c);
}

uint8_t XProbe::keycodeFor(uint32_t keysym) const
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

bool XProbe::grabKey(uint8_t keycode, uint16_t modifiers)
{
    xcb_generic_error_t* error =
        xcb_request_check(m_c, xcb_grab_key_checked(m_c, 0, m_root, modifiers, keycode,
                                                    XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    std::free(error);
    return !error;
}

void XProbe::ungrabKey(uint8_t keycode, uint16_t modifiers)
{
    xcb_ungrab_key(m_c, keycode, m_root, modifiers);
    xcb_flush(m_c);
}

bool XProbe::isDown(uint8_t keycode) const
{
    auto* keymap = xcb_query_keymap_reply(m_c, xcb_query_keymap(m_c), nullptr);
    const bool down = keymap && (keymap->keys[keycode / 8] & (1u << (keycode % 8)));
    std::free(keymap);
    return down;
}

bool XProbe::grabPointer()
{
    auto* reply = xcb_grab_pointer_reply(
        m_c,
        xcb_grab_pointer(m_c, 0, m_root, XCB_EVENT_MASK_BUTTON_PRESS, XCB_GRAB_MODE_ASYNC,
                         XCB_GRAB_MODE_ASYNC, XCB_NONE, XCB_NONE, XCB_CURRENT_TIME),
        nullptr);
    const bool grabbed = reply && reply->status == XCB_GRAB_STATUS_SUCCESS;
    std::free(reply);
    return grabbed;
}

void XProbe::ungrabPointer()
{
    xcb_ungrab_pointer(m_c, XCB_CURRENT_TIME);
    xcb_flush(m_c);
}

uint32_t XProbe::openWindow(const char* wmClass)
{
    m_window = xcb_generate_id(m_c);
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data;
    const uint32_t values[] = {screen->white_pixel,
                               XCB_EVENT_MASK_KEY_PRESS | XCB_EVENT_MASK_KEY_RELEASE};
    xcb_create_window(m_c, XCB_COPY_FROM_PARENT, m_window, m_root, 100, 100, 300, 200, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                      XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK, values);
    // WM_CLASS holds the instance and the class, each ending in a NUL.
    QByteArray names = QByteArray(wmClass) + '\0' + QByteArray(wmClass) + '\0';
    xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, m_window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                        uint32_t(names.size()), names.constData());
    xcb_map_window(m_c, m_window);
    xcb_flush(m_c);
    const QString id = QString::number(m_window);
    runTool(QStringLiteral("xdotool"),
            {QStringLiteral("search"), QStringLiteral("--sync"), QStringLiteral("--classname"),
             QString::fromLatin1(wmClass)});
    runTool(QStringLiteral("xdotool"),
            {QStringLiteral("windowactivate"), QStringLiteral("--sync"), id});
    return m_window;
}

QList<XProbe::Key> XProbe::keys()
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

void XProbe::takeClipboard()
{
    auto* reply = xcb_intern_atom_reply(m_c, xcb_intern_atom(m_c, 0, 9, "CLIPBOARD"), nullptr);
    xcb_set_selection_owner(m_c, m_window, reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE),
                            XCB_CURRENT_TIME);
    std::free(reply);
    xcb_flush(m_c);
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

} // namespace glimra::test
