// SPDX-License-Identifier: GPL-3.0-or-later
#include "X11Frames.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace glimra::capture {

namespace {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T> using Reply = std::unique_ptr<T, FreeDeleter>;

xcb_atom_t internAtom(xcb_connection_t* c, const char* name)
{
    Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 1, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr));
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

} // namespace

std::vector<WindowFrame> visibleFrames(xcb_connection_t* connection, std::uint32_t root)
{
    std::vector<WindowFrame> frames;
    Reply<xcb_query_tree_reply_t> tree(
        xcb_query_tree_reply(connection, xcb_query_tree(connection, root), nullptr));
    if (!tree)
        return frames;
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    const int count = xcb_query_tree_children_length(tree.get());
    const xcb_atom_t extentsAtom = internAtom(connection, "_NET_FRAME_EXTENTS");

    // Send every request first and collect the replies after, so the whole list costs one
    // round trip rather than three per window.
    std::vector<xcb_get_window_attributes_cookie_t> attributeCookies;
    std::vector<xcb_get_geometry_cookie_t> geometryCookies;
    std::vector<xcb_get_property_cookie_t> extentCookies;
    for (int i = 0; i < count; ++i) {
        attributeCookies.push_back(xcb_get_window_attributes(connection, children[i]));
        geometryCookies.push_back(xcb_get_geometry(connection, children[i]));
        extentCookies.push_back(
            xcb_get_property(connection, 0, children[i], extentsAtom, XCB_ATOM_CARDINAL, 0, 4));
    }
    for (int i = 0; i < count; ++i) {
        Reply<xcb_get_window_attributes_reply_t> attributes(
            xcb_get_window_attributes_reply(connection, attributeCookies[i], nullptr));
        Reply<xcb_get_geometry_reply_t> geometry(
            xcb_get_geometry_reply(connection, geometryCookies[i], nullptr));
        Reply<xcb_get_property_reply_t> extents(
            xcb_get_property_reply(connection, extentCookies[i], nullptr));
        if (!attributes || !geometry || attributes->map_state != XCB_MAP_STATE_VIEWABLE ||
            attributes->_class != XCB_WINDOW_CLASS_INPUT_OUTPUT)
            continue;
        const int border = geometry->border_width;
        QRect frame(geometry->x, geometry->y, geometry->width + 2 * border,
                    geometry->height + 2 * border);
        if (extents && extents->format == 32 &&
            xcb_get_property_value_length(extents.get()) >= 16) {
            const auto* e =
                static_cast<const std::uint32_t*>(xcb_get_property_value(extents.get()));
            frame.adjust(-static_cast<int>(e[0]), -static_cast<int>(e[2]), static_cast<int>(e[1]),
                         static_cast<int>(e[3]));
        }
        frames.push_back({children[i], frame});
    }
    return frames;
}

} // namespace glimra::capture
