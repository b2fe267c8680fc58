// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QStringView>

class QWidget;

// The views' shared vocabulary: text styles, semantic colours and icons, rendered the way the
// desktop renders them (its fonts, its palette, its icon theme).
namespace glimra::style {

enum class TextStyle { Title, Title2, Title3, Headline, Subheadline, Body, Caption, Caption2 };

// The application font at the size and weight of a text style.
QFont font(TextStyle textStyle);
// The application font, optionally monospaced, at a size in points of a design whose caption
// is 10 points, scaled so it keeps its proportion to this desktop's caption.
QFont systemFont(qreal pointSize, bool monospaced = false);

// Colours that follow the palette, so a dark theme stays readable.
QColor primary(const QWidget* widget, qreal opacity = 1.0);
QColor secondary(const QWidget* widget, qreal opacity = 1.0);
QColor accent(const QWidget* widget, qreal opacity = 1.0);
QColor red();
QColor green();
QColor orange();

// An icon by the symbol name the views use ("gearshape", "trash", "cloud.fill", ...): the icon
// theme's icon of the matching freedesktop name, or a built-in drawing when the theme has none.
QIcon icon(QStringView symbolName);
// The built-in drawing of a symbol in one colour, for icons whose colour carries meaning (a
// red "trash", a green check) and would be lost to the theme's own colours.
QIcon icon(QStringView symbolName, const QColor& tint);

} // namespace glimra::style
