// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QIcon>
#include <QStringView>

namespace glimra::style {

// True when a drawing of this symbol is built in.
bool hasSymbolArt(QStringView symbolName);

// Draws the symbol as vectors at whatever size and scale it is asked for. An invalid tint
// follows the palette's text colour at the time of painting, so a theme change is followed.
QIcon symbolArt(QStringView symbolName, const QColor& tint = {});

} // namespace glimra::style
