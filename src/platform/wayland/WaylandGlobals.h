// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>

namespace glimra {

// The interfaces the compositor of $WAYLAND_DISPLAY offers to every client, asked once over a
// connection of our own (Qt 6.4 does not share its own); empty when there is no compositor.
QStringList waylandGlobals();

} // namespace glimra
