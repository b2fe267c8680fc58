#include "ui/Style.h"

#include <QApplication>
#include <QFontDatabase>
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
    QFont f =
        monospaced ? QFontDatabase::systemFont(QFontDatabase::FixedFont) : QApplication::font();
    f.setPointSizeF(pointSize);
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

QIcon icon(QStringView symbolName)
{
    return QIcon::fromTheme(symbolName.toString());
}

} // namespace glimra::style
