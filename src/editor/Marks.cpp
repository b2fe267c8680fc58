// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor/Marks.h"

#include <QFontMetricsF>

#include <algorithm>
#include <cmath>

namespace glimra::editor {

bool isBoxKind(MarkKind kind)
{
    switch (kind) {
    case MarkKind::Rectangle:
    case MarkKind::FilledRectangle:
    case MarkKind::Ellipse:
    case MarkKind::Redact:
    case MarkKind::Pixelate:
        return true;
    default:
        return false;
    }
}

bool isStrokeKind(MarkKind kind)
{
    return kind == MarkKind::Pen || kind == MarkKind::Highlighter;
}

qreal strokeWidth(const Mark& mark, qreal scale)
{
    // A highlighter covers a line of text, not a hairline.
    const qreal width =
        mark.kind == MarkKind::Highlighter ? std::max(mark.width * 4, 12.0) : mark.width;
    return std::max(width, 1.0) * scale;
}

qreal stepRadius(const Mark& mark, qreal scale)
{
    return std::max(mark.fontSize, 8.0) * 0.8 * scale;
}

QFont markFont(const Mark& mark, qreal scale)
{
    QFont font;
    font.setPixelSize(std::max(1, int(std::lround(std::max(mark.fontSize, 4.0) * scale))));
    font.setBold(mark.kind == MarkKind::Step);
    return font;
}

QRectF markBounds(const Mark& mark, qreal scale)
{
    if (mark.points.isEmpty())
        return {};
    const QPointF first = mark.points.first();
    switch (mark.kind) {
    case MarkKind::Text: {
        const QFontMetricsF metrics(markFont(mark, scale));
        const QSizeF size = metrics.size(0, mark.text.isEmpty() ? QStringLiteral(" ") : mark.text);
        const qreal halo = metrics.height() / 6;
        return QRectF(first, size).adjusted(-halo, -halo, halo, halo);
    }
    case MarkKind::Step: {
        const qreal r = stepRadius(mark, scale);
        return QRectF(first - QPointF(r, r), QSizeF(2 * r, 2 * r));
    }
    default:
        break;
    }
    qreal left = first.x(), right = left, top = first.y(), bottom = top;
    for (const QPointF& p : mark.points) {
        left = std::min(left, p.x());
        right = std::max(right, p.x());
        top = std::min(top, p.y());
        bottom = std::max(bottom, p.y());
    }
    const QRectF box(QPointF(left, top), QPointF(right, bottom));
    if (mark.kind == MarkKind::Redact || mark.kind == MarkKind::Pixelate ||
        mark.kind == MarkKind::FilledRectangle)
        return box;
    // An arrow's head reaches past the line by about its own width.
    const qreal grow = strokeWidth(mark, scale) * (mark.kind == MarkKind::Arrow ? 3 : 0.5);
    return box.adjusted(-grow, -grow, grow, grow);
}

QRect coveredPixels(const Mark& mark)
{
    const QRectF box = markBounds(mark, 1);
    const int left = int(std::floor(box.left())), top = int(std::floor(box.top()));
    const int right = int(std::ceil(box.right())), bottom = int(std::ceil(box.bottom()));
    return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
}

int markAt(const MarkDocument& document, QPointF point, qreal scale)
{
    // Thin marks are hard to hit exactly; a few screen pixels of slack.
    const qreal slack = 4 * scale;
    for (qsizetype i = document.marks.size() - 1; i >= 0; --i) {
        if (markBounds(document.marks[i], scale)
                .adjusted(-slack, -slack, slack, slack)
                .contains(point))
            return int(i);
    }
    return -1;
}

Mark movedMark(Mark mark, QPointF offset)
{
    for (QPointF& p : mark.points)
        p += offset;
    return mark;
}

Mark resizedMark(Mark mark, QPointF newBottomRight, qreal scale)
{
    if (mark.points.isEmpty())
        return mark;
    if (mark.kind == MarkKind::Text || mark.kind == MarkKind::Step) {
        // These are sized by their font: stretching one changes its size.
        const QRectF box = markBounds(mark, scale);
        const qreal height = std::max(newBottomRight.y() - box.top(), 4.0);
        mark.fontSize = std::max(4.0, mark.fontSize * height / std::max(box.height(), 1.0));
        return mark;
    }
    qreal left = mark.points.first().x(), top = mark.points.first().y();
    qreal right = left, bottom = top;
    for (const QPointF& p : mark.points) {
        left = std::min(left, p.x());
        right = std::max(right, p.x());
        top = std::min(top, p.y());
        bottom = std::max(bottom, p.y());
    }
    const qreal sx = right > left ? std::max(newBottomRight.x() - left, 1.0) / (right - left) : 1;
    const qreal sy = bottom > top ? std::max(newBottomRight.y() - top, 1.0) / (bottom - top) : 1;
    for (QPointF& p : mark.points)
        p = QPointF(left + (p.x() - left) * sx, top + (p.y() - top) * sy);
    return mark;
}

} // namespace glimra::editor
