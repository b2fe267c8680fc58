// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor/MarkRenderer.h"

#include <QPainter>
#include <QPainterPath>
#include <QRegion>
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

QPainterPath textPath(const Mark& mark, qreal scale)
{
    const QFont font = markFont(mark, scale);
    const QFontMetricsF metrics(font);
    QPainterPath path;
    qreal y = mark.points.first().y() + metrics.ascent();
    for (const QString& line : mark.text.split(QLatin1Char('\n'))) {
        path.addText(QPointF(mark.points.first().x(), y), font, line);
        y += metrics.lineSpacing();
    }
    return path;
}

// The halo makes the text read on any background.
qreal haloWidth(const Mark& mark, qreal scale)
{
    return std::max(2.0, QFontMetricsF(markFont(mark, scale)).height() / 6);
}

void paintText(QPainter& painter, const Mark& mark, qreal scale)
{
    const QPainterPath path = textPath(mark, scale);
    painter.strokePath(path, QPen(contrastOf(mark.color), haloWidth(mark, scale), Qt::SolidLine,
                                  Qt::RoundCap, Qt::RoundJoin));
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

// Every pixel that drawing the mark may change, with room to spare: a patch cut smaller would
// clip the mark.
QRect paintedArea(const Mark& mark, int stepNumber, qreal scale)
{
    if (mark.points.isEmpty())
        return {};
    QRectF box;
    qreal reach = 2; // smoothing
    switch (mark.kind) {
    case MarkKind::Redact:
    case MarkKind::Pixelate:
        return coveredPixels(mark);
    case MarkKind::Text: {
        const QPainterPath path = textPath(mark, scale);
        if (path.isEmpty())
            return {};
        box = path.controlPointRect();
        reach += haloWidth(mark, scale);
        break;
    }
    case MarkKind::Step: {
        const qreal r = stepRadius(mark, scale);
        const QRectF disc(mark.points.first() - QPointF(r, r), QSizeF(2 * r, 2 * r));
        // A long number overflows its disc.
        box = disc.united(QFontMetricsF(markFont(mark, scale))
                              .boundingRect(disc, Qt::AlignCenter, QString::number(stepNumber)));
        reach += std::max(1.0, scale * 1.5);
        break;
    }
    default: {
        box = QPolygonF(mark.points).boundingRect();
        const qreal width = strokeWidth(mark, scale);
        reach +=
            mark.kind == MarkKind::Arrow ? 1.2 * std::max(width * 3.5, 10 * scale) + width : width;
    }
    }
    return box.adjusted(-reach, -reach, reach, reach).toAlignedRect();
}

constexpr int kMaxPatches = 48;

// Where the marks paint, in rectangles that do not overlap, each drawn on its own. A
// pixelation reads the whole of its area, so it lies inside one, joined with any other it
// overlaps; every other mark is drawn in as many pieces as it crosses.
QList<QRect> patchAreas(const QList<QRect>& painted, const MarkDocument& document)
{
    QList<QRect> whole;
    QRegion rest;
    for (qsizetype i = 0; i < painted.size(); ++i) {
        rest += painted[i];
        if (document.marks[i].kind == MarkKind::Pixelate && !painted[i].isEmpty())
            whole.append(painted[i]);
    }
    const auto joinOne = [&whole] {
        for (qsizetype i = 0; i < whole.size(); ++i) {
            for (qsizetype j = i + 1; j < whole.size(); ++j) {
                if (whole[i].intersects(whole[j])) {
                    whole[i] |= whole.takeAt(j);
                    return true;
                }
            }
        }
        return false;
    };
    while (joinOne()) {
    }
    // Many marks that overlap here and there cut the picture into ever more pieces, each
    // drawing every mark it crosses: past a few dozen, one piece around them all is cheaper.
    const QRect all = rest.boundingRect();
    for (const QRect& r : std::as_const(whole))
        rest -= r;
    if (whole.size() + rest.rectCount() > kMaxPatches)
        return {all};
    whole.append(QList<QRect>(rest.begin(), rest.end()));
    return whole;
}

// The marks that reach into area, drawn on a copy of that part of the picture in the
// document's order: highlights under everything, then pixelation, which blurs what lies below
// it, then the marks in order, and redactions last so that nothing is drawn over them.
QImage renderPatch(const QImage& picture, const MarkDocument& document, const QList<QRect>& painted,
                   const QRect& area, qreal scale)
{
    QImage image = picture.copy(area);
    const auto reaches = [&](qsizetype i, MarkKind kind) {
        return document.marks[i].kind == kind && painted[i].intersects(area);
    };
    {
        QPainter painter(&image);
        painter.translate(-area.topLeft());
        for (qsizetype i = 0; i < painted.size(); ++i) {
            if (reaches(i, MarkKind::Highlighter))
                paintMark(painter, document.marks[i], 0, scale);
        }
    }
    for (qsizetype i = 0; i < painted.size(); ++i) {
        if (reaches(i, MarkKind::Pixelate))
            pixelate(image, coveredPixels(document.marks[i]).translated(-area.topLeft()), scale);
    }
    QPainter painter(&image);
    painter.translate(-area.topLeft());
    for (qsizetype i = 0; i < painted.size(); ++i) {
        const MarkKind kind = document.marks[i].kind;
        if (kind != MarkKind::Highlighter && kind != MarkKind::Pixelate && reaches(i, kind))
            paintMark(painter, document.marks[i], stepNumberOf(document, i), scale);
    }
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    for (qsizetype i = 0; i < painted.size(); ++i) {
        if (reaches(i, MarkKind::Redact))
            painter.fillRect(coveredPixels(document.marks[i]), opaque(document.marks[i].color));
    }
    return image;
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

RenderedPicture renderMarks(const QImage& picture, const MarkDocument& document, qreal scale)
{
    RenderedPicture out;
    out.picture = picture.convertToFormat(QImage::Format_RGB32);
    if (out.picture.isNull())
        return out;
    out.kept = out.picture.rect();
    if (document.crop && !(*document.crop & out.kept).isEmpty())
        out.kept &= *document.crop;
    // Marks are drawn whole even where the crop cuts them, as a pixelation inside the crop
    // may read what they painted outside it.
    QList<QRect> painted;
    for (qsizetype i = 0; i < document.marks.size(); ++i)
        painted.append(paintedArea(document.marks[i], stepNumberOf(document, i), scale) &
                       out.picture.rect());
    for (const QRect& area : patchAreas(painted, document))
        out.patches.append(
            {area.topLeft(), renderPatch(out.picture, document, painted, area, scale)});
    return out;
}

QImage RenderedPicture::flattened() const
{
    // Nothing drawn and nothing cut: the picture itself, shared, as a window opens with it.
    if (patches.isEmpty() && kept == picture.rect())
        return picture;
    QImage image = picture.copy(kept);
    if (image.isNull())
        return image;
    QPainter painter(&image);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    for (const Patch& patch : patches)
        painter.drawImage(patch.at - kept.topLeft(), patch.pixels);
    return image;
}

QImage renderDocument(const QImage& picture, const MarkDocument& document, qreal scale)
{
    return renderMarks(picture, document, scale).flattened();
}

} // namespace glimra::editor
