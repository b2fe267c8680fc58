// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/CaptureButton.h"

#include "ui/Style.h"

#include <QEvent>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QStyleOptionFocusRect>

namespace glimra {

namespace {

constexpr int kPadding = 8;
constexpr int kSpacing = 4;
constexpr qreal kCornerRadius = 8;

int iconSide()
{
    return QFontMetrics(style::font(style::TextStyle::Title2)).height();
}

QFont shortcutFont()
{
    return style::systemFont(9);
}

} // namespace

CaptureButton::CaptureButton(const QString& title, const QString& iconName, QWidget* parent)
    : QAbstractButton(parent), m_iconName(iconName)
{
    setText(title);
    setAccessibleName(title);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_Hover);
    setCursor(Qt::PointingHandCursor);
    setIcon(style::icon(iconName));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void CaptureButton::setShortcutText(const QString& shortcut)
{
    m_shortcut = shortcut;
    setAccessibleDescription(shortcut);
    setToolTip(shortcut.isEmpty() ? QString() : text() + QStringLiteral(" (") + shortcut + u')');
    updateGeometry();
    update();
}

QSize CaptureButton::sizeHint() const
{
    const QFontMetrics title(style::font(style::TextStyle::Caption2));
    const QFontMetrics shortcut(shortcutFont());
    const int height =
        kPadding + iconSide() + kSpacing + title.height() + kSpacing + shortcut.height() + kPadding;
    const int width =
        std::max(title.horizontalAdvance(text()), shortcut.horizontalAdvance(m_shortcut)) +
        2 * kPadding;
    return {width, height};
}

QSize CaptureButton::minimumSizeHint() const
{
    return {2 * kPadding + iconSide(), sizeHint().height()};
}

void CaptureButton::changeEvent(QEvent* event)
{
    // The theme or palette changed: pick the icon again so it matches.
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange)
        setIcon(style::icon(m_iconName));
    QAbstractButton::changeEvent(event);
}

void CaptureButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF tile = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath shape;
    shape.addRoundedRect(tile, kCornerRadius, kCornerRadius);
    const qreal opacity = isDown() ? 0.14 : underMouse() ? 0.09 : 0.05;
    painter.fillPath(shape, style::primary(this, opacity));
    if (hasFocus()) {
        painter.setPen(QPen(style::accent(this), 1.5));
        painter.drawPath(shape);
    }

    int y = kPadding;
    const int side = iconSide();
    icon().paint(&painter, QRect((width() - side) / 2, y, side, side), Qt::AlignCenter,
                 isEnabled() ? QIcon::Normal : QIcon::Disabled);
    y += side + kSpacing;

    const auto drawLine = [&](const QFont& font, const QColor& colour, const QString& line) {
        painter.setFont(font);
        painter.setPen(colour);
        const QFontMetrics metrics(font);
        const QString shown = metrics.elidedText(line, Qt::ElideRight, width() - 4);
        painter.drawText(QRect(0, y, width(), metrics.height()), Qt::AlignCenter, shown);
        y += metrics.height() + kSpacing;
    };
    drawLine(style::font(style::TextStyle::Caption2), style::primary(this), text());
    drawLine(shortcutFont(), style::secondary(this), m_shortcut);
}

} // namespace glimra
