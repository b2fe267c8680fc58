// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>

namespace glimra {

// A camera viewfinder: four corner brackets around a lens. Drawn rather than shipped as a
// file so it stays sharp at whatever size the tray asks for.
QIcon trayIcon();

} // namespace glimra
