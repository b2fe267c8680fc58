// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>

namespace glimra {

// Instance and class name (WM_CLASS) of the window the window manager reports as active;
// empty when there is none or the session is not X11.
QStringList activeWindowClass();

} // namespace glimra
