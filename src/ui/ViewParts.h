// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ui/Style.h"

#include <QString>
#include <QTime>

class QFrame;
class QLabel;
class QToolButton;
class QWidget;

// Small pieces the popover's views are built from, so they look alike everywhere.
namespace glimra::parts {

// A button that draws only its label, no bezel; an invalid colour keeps the palette's.
QToolButton* plainButton(const QString& text, style::TextStyle textStyle, const QColor& colour,
                         QWidget* parent);
// A plain button showing one symbol at the height of a text style.
QToolButton* iconButton(const QString& symbol, style::TextStyle textStyle,
                        const QString& accessibleName, QWidget* parent);
QFrame* divider(QWidget* parent);
// Hours and minutes in the user's locale.
QString timeOfDay(const QTime& time);
QLabel* label(const QString& text, const QFont& font, const QColor& colour, QWidget* parent);

} // namespace glimra::parts
