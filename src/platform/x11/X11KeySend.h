// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <Qt>

#include <cstdint>

struct xcb_connection_t;

namespace glimra {

class X11Keyboard;

// Types a combination into the focused window through XTest. The focused window must see
// exactly this combination: modifier keys the user still holds are released around it and
// pressed again after, so none is left stuck down.
void sendCombination(xcb_connection_t* c, const X11Keyboard& keyboard, uint32_t keysym,
                     Qt::KeyboardModifiers modifiers);

} // namespace glimra
