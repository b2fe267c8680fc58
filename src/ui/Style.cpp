// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/Style.h"

#include "ui/SymbolArt.h"

#include <QApplication>
#include <QFontDatabase>
#include <QHash>
#include <QPalette>
#include <QWidget>

namespace glimra::style {

QFont font(TextStyle textStyle)
{
    QFont f = QApplication::font();
    const qreal base = f.pointSizeF() > 0 ? f.pointSizeF() : 10.0;
    switch (textStyle) {
    case TextStyle::Title:
        f.setPointSizeF(base * 1.6);
        break;
    case TextStyle::Title2:
        f.setPointSizeF(base * 1.4);
        break;
    case TextStyle::Title3:
        f.setPointSizeF(base * 1.2);
        break;
    case TextStyle::Headline:
        f.setBold(true);
        break;
    case TextStyle::Subheadline:
        f.setPointSizeF(base * 0.95);
        break;
    case TextStyle::Body:
        break;
    case TextStyle::Caption:
        f.setPointSizeF(base * 0.9);
        break;
    case TextStyle::Caption2:
        f.setPointSizeF(base * 0.8);
        break;
    }
    return f;
}

QFont systemFont(qreal pointSize, bool monospaced)
{
    // The sizes the views ask for were chosen against a caption of 10 points; they are kept
    // in proportion to the desktop's font, so a 9-point note stays smaller than a caption
    // whatever size the user reads at.
    QFont f =
        monospaced ? QFontDatabase::systemFont(QFontDatabase::FixedFont) : QApplication::font();
    f.setPointSizeF(pointSize * font(TextStyle::Caption).pointSizeF() / 10.0);
    return f;
}

namespace {
QColor withOpacity(QColor colour, qreal opacity)
{
    colour.setAlphaF(colour.alphaF() * opacity);
    return colour;
}
QPalette paletteOf(const QWidget* widget)
{
    return widget ? widget->palette() : QApplication::palette();
}
} // namespace

QColor primary(const QWidget* widget, qreal opacity)
{
    return withOpacity(paletteOf(widget).color(QPalette::WindowText), opacity);
}

QColor secondary(const QWidget* widget, qreal opacity)
{
    return withOpacity(paletteOf(widget).color(QPalette::PlaceholderText), opacity);
}

QColor accent(const QWidget* widget, qreal opacity)
{
    return withOpacity(paletteOf(widget).color(QPalette::Highlight), opacity);
}

QColor red()
{
    return QColor(0xe0, 0x1b, 0x24);
}

QColor green()
{
    return QColor(0x2e, 0xc2, 0x7e);
}

QColor orange()
{
    return QColor(0xff, 0x78, 0x00);
}

namespace {

// The freedesktop names that show each symbol, best first. Themes that follow the icon naming
// standard have the first of most lists; the others cover common themes that differ.
const QHash<QString, QStringList>& themeNames()
{
    static const QHash<QString, QStringList> names = {
        {QStringLiteral("camera.viewfinder"), {QStringLiteral("camera-photo")}},
        {QStringLiteral("pin"), {QStringLiteral("window-pin"), QStringLiteral("view-pin")}},
        {QStringLiteral("pin.fill"),
         {QStringLiteral("window-unpin"), QStringLiteral("view-pin-symbolic")}},
        {QStringLiteral("gearshape"),
         {QStringLiteral("preferences-system"), QStringLiteral("emblem-system")}},
        {QStringLiteral("person.circle.fill"),
         {QStringLiteral("avatar-default"), QStringLiteral("user-identity")}},
        {QStringLiteral("rectangle"), {QStringLiteral("view-fullscreen")}},
        {QStringLiteral("rectangle.dashed"),
         {QStringLiteral("select-rectangular"), QStringLiteral("edit-select")}},
        {QStringLiteral("photo.on.rectangle.angled"), {QStringLiteral("image-x-generic")}},
        {QStringLiteral("cloud"), {QStringLiteral("weather-overcast")}},
        {QStringLiteral("cloud.fill"), {QStringLiteral("weather-overcast")}},
        {QStringLiteral("arrow.clockwise"), {QStringLiteral("view-refresh")}},
        {QStringLiteral("doc.on.clipboard"), {QStringLiteral("edit-copy")}},
        {QStringLiteral("trash"), {QStringLiteral("user-trash"), QStringLiteral("edit-delete")}},
        {QStringLiteral("folder"), {QStringLiteral("folder")}},
        {QStringLiteral("keyboard"), {QStringLiteral("input-keyboard")}},
        {QStringLiteral("power"),
         {QStringLiteral("application-exit"), QStringLiteral("system-shutdown")}},
        {QStringLiteral("arrow.counterclockwise"), {QStringLiteral("edit-undo")}},
    };
    return names;
}

} // namespace

QIcon icon(QStringView symbolName)
{
    for (const QString& name : themeNames().value(symbolName.toString())) {
        if (QIcon::hasThemeIcon(name))
            return QIcon::fromTheme(name);
    }
    return symbolArt(symbolName);
}

QIcon icon(QStringView symbolName, const QColor& tint)
{
    return symbolArt(symbolName, tint);
}

} // namespace glimra::style
