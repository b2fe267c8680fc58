// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/PixelView.h"

#include <cstdint>
#include <string>

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
PixelBuffer grabRoot(xcb_connection_t* connection, std::uint32_t root, std::string* error,
                     Transport transport = Transport::Any, Delivery delivery = Delivery::Whole);

} // namespace glimra::capture
