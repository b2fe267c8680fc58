#pragma once

#include "CaptureGeometry.h"
#include "PixelView.h"

#include <QString>

#include <vector>

// Kept opaque so that no X11 header leaks into code that includes this one.
struct xcb_connection_t;

namespace glimra::capture {

// The root window of the connection's default screen (from DISPLAY).
std::uint32_t defaultRoot(xcb_connection_t* connection);

enum class Transport {
    Any,  // shared memory where the server offers it, else the plain request
    Plain // always through the connection
};

enum class Delivery {
    Whole,  // every row is in place when the grab returns
    InBands // rows may still arrive; PixelBuffer::waitForRows before reading them
};

// Copies every pixel of the root window (all monitors, device pixels). Returns a null view and
// sets error when the server uses a pixel layout this reader does not handle (anything but
// 24/32-bit true colour, which every current X server offers) or refuses the image.
PixelBuffer grabRoot(xcb_connection_t* connection, std::uint32_t root, QString* error,
                     Transport transport = Transport::Any, Delivery delivery = Delivery::Whole);

// The visible top-level frames, bottom to top, in root (device) coordinates. Under a
// reparenting window manager the root's children are the frames themselves; a client that
// is a direct child of the root gets its _NET_FRAME_EXTENTS added, so its decorations are
// part of the frame either way.
std::vector<WindowFrame> visibleFrames(xcb_connection_t* connection, std::uint32_t root);

} // namespace glimra::capture
