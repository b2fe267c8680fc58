// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor/MarkRenderer.h"

#include <QPainter>
#include <QPainterPath>
#include <QtMath>

#include <algorithm>
#include <cmath>

namespace glimra::editor {

namespace {

QColor opaque(QColor color)
{
    color.setAlpha(255);
    return color;
}

// Black or white, whichever stands out against color.
QColor contrastOf(const QColor& color)
{
    return color.lightnessF() > 0.6 ? QColor(Qt::black) : QColor(Qt::white);
}

void paintArrow(QPainter& painter, const Mark& mark, qreal scale)
{
    const QPointF from = mark.points.first(), to = mark.points.last();
    const qreal width = strokeWidth(mark, scale);
    const QLineF line(from, to);
    const qreal head = std::min(std::max(width * 3.5, 10 * scale), line.length());
    const qreal angle = qDegreesToRadians(line.angle());
    // Qt's angles run counter-clockwise with y pointing down.
    const QPointF back(-std::cos(angle), std::sin(angle));
    const QPointF side(back.y(), -back.x());
    const QPointF base = to + back * head;
    painter.setPen(QPen(mark.color, width, Qt::SolidLine, Qt::RoundCap));
    // The shaft stops inside the head so its end never pokes through the point.
    painter.drawLine(from, to + back * (head * 0.6));
    painter.setPen(Qt::NoPen);
    painter.setBrush(mark.color);
    painter.drawPolygon(QPolygonF{to, base + side * (head * 0.55), base - side * (head * 0.55)});
}

void paintText(QPainter& painter, const Mark& mark, qreal scale)
{
    const QFont font = markFont(mark, scale);
    const QFontMetricsF metrics(font);
    QPainterPath path;
    qreal y = mark.points.first().y() + metrics.ascent();
    for (const QString& line : mark.text.split(QLatin1Char('\n'))) {
        path.addText(QPointF(mark.points.first().x(), y), font, line);
        y += metrics.lineSpacing();
    }
    // The halo makes the text read on any background.
    painter.strokePath(path, QPen(contrastOf(mark.color), std::max(2.0, metrics.height() / 6),
                                  Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.fillPath(path, mark.color);
}

void paintStep(QPainter& painter, const Mark& mark, int number, qreal scale)
{
    const qreal r = stepRadius(mark, scale);
    const QPointF centre = mark.points.first();
    painter.setPen(QPen(contrastOf(mark.color), std::max(1.0, scale * 1.5)));
    painter.setBrush(mark.color);
    painter.drawEllipse(centre, r, r);
    painter.setFont(markFont(mark, scale));
    painter.setPen(contrastOf(mark.color));
    painter.drawText(QRectF(centre - QPointF(r, r), QSizeF(2 * r, 2 * r)), Qt::AlignCenter,
                     QString::number(number));
}

void paintMark(QPainter& painter, const Mark& mark, int stepNumber, qreal scale)
{
    if (mark.points.isEmpty())
        return;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(mark.points.first(), mark.points.last()).normalized();
    const QPen pen(mark.color, strokeWidth(mark, scale), Qt::SolidLine, Qt::RoundCap,
                   Qt::RoundJoin);
    switch (mark.kind) {
    case MarkKind::Arrow:
        paintArrow(painter, mark, scale);
        break;
    case MarkKind::Line:
        painter.setPen(pen);
        painter.drawLine(mark.points.first(), mark.points.last());
        break;
    case MarkKind::Rectangle:
        painter.setPen(QPen(mark.color, pen.widthF(), Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
        painter.drawRect(box);
        break;
    case MarkKind::FilledRectangle:
        painter.fillRect(box, mark.color);
        break;
    case MarkKind::Ellipse:
        painter.setPen(pen);
        painter.drawEllipse(box);
        break;
    case MarkKind::Pen:
    case MarkKind::Highlighter:
        // Multiplying keeps dark text dark: the highlight lies under the text, not over it.
        if (mark.kind == MarkKind::Highlighter) {
            painter.setCompositionMode(QPainter::CompositionMode_Multiply);
            painter.setPen(
                QPen(opaque(mark.color), pen.widthF(), Qt::SolidLine, Qt::FlatCap, Qt::RoundJoin));
        } else {
            painter.setPen(pen);
        }
        if (mark.points.size() == 1)
            painter.drawPoint(mark.points.first());
        else
            painter.drawPolyline(QPolygonF(mark.points));
        break;
    case MarkKind::Text:
        paintText(painter, mark, scale);
        break;
    case MarkKind::Step:
        paintStep(painter, mark, stepNumber, scale);
        break;
    case MarkKind::Redact:
    case MarkKind::Pixelate:
        break;
    }
    painter.restore();
}

void pixelate(QImage& image, const QRect& area, qreal scale)
{
    const QRect r = area & image.rect();
    if (r.isEmpty())
        return;
    const int block = std::max(2, int(std::lround(10 * scale)));
    const QSize small(std::max(1, r.width() / block), std::max(1, r.height() / block));
    const QImage blocks = image.copy(r)
                              .scaled(small, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                              .scaled(r.size(), Qt::IgnoreAspectRatio, Qt::FastTransformation);
    QPainter painter(&image);
    painter.drawImage(r.topLeft(), blocks);
}

} // namespace

int stepNumberOf(const MarkDocument& document, qsizetype index)
{
    int number = 0;
    for (qsizetype i = 0; i <= index && i < document.marks.size(); ++i)
        number += document.marks[i].kind == MarkKind::Step;
    return number;
}

void paintPreview(QPainter& painter, const Mark& mark, int stepNumber, qreal scale)
{
    if (mark.kind != MarkKind::Redact && mark.kind != MarkKind::Pixelate) {
        paintMark(painter, mark, stepNumber, scale);
        return;
    }
    painter.save();
    painter.setBrush(mark.kind == MarkKind::Redact ? QBrush(opaque(mark.color))
                                                   : QBrush(Qt::gray, Qt::Dense4Pattern));
    painter.setPen(QPen(Qt::white, scale, Qt::DashLine));
    painter.drawRect(coveredPixels(mark));
    painter.restore();
}

QImage renderDocument(const QImage& picture, const MarkDocument& document, qreal scale)
{
    QImage image = picture.convertToFormat(QImage::Format_RGB32);
    if (image.isNull())
        return image;
    // Highlights first, under everything; then pixelation, which blurs what lies below it;
    // then the marks in order; redactions last, so that nothing is drawn over them.
    {
        QPainter painter(&image);
        for (const Mark& mark : document.marks) {
            if (mark.kind == MarkKind::Highlighter)
                paintMark(painter, mark, 0, scale);
        }
    }
    for (const Mark& mark : document.marks) {
        if (mark.kind == MarkKind::Pixelate)
            pixelate(image, coveredPixels(mark), scale);
    }
    QPainter painter(&image);
    for (qsizetype i = 0; i < document.marks.size(); ++i) {
        const Mark& mark = document.marks[i];
        if (mark.kind != MarkKind::Highlighter)
            paintMark(painter, mark, stepNumberOf(document, i), scale);
    }
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    for (const Mark& mark : document.marks) {
        if (mark.kind == MarkKind::Redact)
            painter.fillRect(coveredPixels(mark), opaque(mark.color));
    }
    painter.end();
    if (document.crop) {
        const QRect kept = *document.crop & image.rect();
        if (!kept.isEmpty())
            return image.copy(kept);
    }
    return image;
}

} // namespace glimra::editor
