// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/RowDelegate.h"

#include "ui/Style.h"

#include <QPainter>
#include <QPainterPath>

namespace glimra {

namespace {

constexpr qreal kRowRadius = 8;
constexpr qreal kPreviewRadius = 6;

} // namespace

QRect RowDelegate::buttonRect(const QRect& row, int position, int count)
{
    const int right = row.right() - kPadding + 1;
    const int left = right - count * kButtonSide - (count - 1) * kButtonSpacing;
    return {left + position * (kButtonSide + kButtonSpacing),
            row.top() + (row.height() - kButtonSide) / 2, kButtonSide, kButtonSide};
}

bool RowDelegate::paintPreview(QPainter* painter, const QWidget* widget, const QRect& box,
                               const QImage& image)
{
    painter->save();
    if (image.isNull()) {
        painter->setPen(Qt::NoPen);
        painter->setBrush(style::primary(widget, 0.05));
        painter->drawRoundedRect(QRectF(box), kPreviewRadius, kPreviewRadius);
        painter->restore();
        return false;
    }
    QPainterPath clip;
    clip.addRoundedRect(QRectF(box), kPreviewRadius, kPreviewRadius);
    painter->setClipPath(clip);
    // Only the part of the picture that shows is scaled: a source rectangle of the box's
    // shape, centred, rather than the whole picture scaled and then cut.
    const QSizeF boxSize(box.size());
    const QSizeF imageSize(image.size());
    const qreal scale =
        std::max(boxSize.width() / imageSize.width(), boxSize.height() / imageSize.height());
    QRectF source(QPointF(), boxSize / scale);
    source.moveCenter(QRectF(QPointF(), imageSize).center());
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    painter->drawImage(QRectF(box), image, source);
    painter->restore();
    return true;
}

void RowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const
{
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    const QWidget* widget = option.widget;
    const bool hovered = m_hovered.isValid() && index == m_hovered;
    const bool current = (option.state & QStyle::State_HasFocus) ||
                         ((option.state & QStyle::State_Selected) && widget && widget->hasFocus());
    QPainterPath shape;
    shape.addRoundedRect(QRectF(option.rect), kRowRadius, kRowRadius);
    if (hovered)
        painter->fillPath(shape, style::primary(widget, 0.08));
    if (current) {
        // The keyboard's row, so the list can be used without a pointer.
        painter->fillPath(shape, style::accent(widget, 0.12));
        painter->setPen(QPen(style::accent(widget, 0.7), 1));
        painter->drawPath(shape);
    }

    const QRect inner = option.rect.adjusted(kPadding, kPadding, -kPadding, -kPadding);
    const QRect preview(inner.left(), inner.top() + (inner.height() - kPreviewBox.height()) / 2,
                        kPreviewBox.width(), kPreviewBox.height());
    QRect text = inner.adjusted(kPreviewBox.width() + kSpacing, 0, 0, 0);
    const QList<RowButton> shown = hovered ? buttons(index) : QList<RowButton>();
    if (!shown.isEmpty())
        text.setRight(buttonRect(option.rect, 0, static_cast<int>(shown.size())).left() - kSpacing);
    paintContent(painter, option, index, preview, text);

    for (int i = 0; i < shown.size(); ++i) {
        const RowButton& button = shown.at(i);
        const QRect box = buttonRect(option.rect, i, static_cast<int>(shown.size()));
        const QIcon icon = button.destructive ? style::icon(button.symbol, style::red())
                                              : style::icon(button.symbol);
        const int side = 16;
        icon.paint(painter,
                   QRect(box.center() - QPoint(side / 2 - 1, side / 2 - 1), QSize(side, side)));
    }
    painter->restore();
}

QSize RowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const
{
    const QFontMetrics caption(style::font(style::TextStyle::Caption));
    const QFontMetrics small(style::systemFont(9));
    const int lines = 2 * caption.height() + small.height() + 4;
    const int height = std::max(kPreviewBox.height(), lines) + 2 * kPadding;
    return {std::max(option.rect.width(), 0), height};
}

} // namespace glimra
