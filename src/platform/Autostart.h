// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// "Start at login": the XDG autostart entry
// $XDG_CONFIG_HOME/autostart/io.github.glimra.Glimra.desktop.
namespace glimra::autostart {

bool isEnabled();
// Writes or removes the entry. Returns an error text for the status line, empty on success.
QString setEnabled(bool enabled);

} // namespace glimra::autostart
