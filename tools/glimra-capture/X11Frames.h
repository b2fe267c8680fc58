// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "CaptureGeometry.h"

#include <cstdint>
#include <vector>

// Kept opaque so that no X11 header leaks into code that includes this one.
struct xcb_connection_t;

namespace glimra::capture {

// The visible top-level frames, bottom to top, in root (device) coordinates. Under a
// reparenting window manager the root's children are the frames themselves; a client that
// is a direct child of the root gets its _NET_FRAME_EXTENTS added, so its decorations are
// part of the frame either way.
std::vector<WindowFrame> visibleFrames(xcb_connection_t* connection, std::uint32_t root);

} // namespace glimra::capture
