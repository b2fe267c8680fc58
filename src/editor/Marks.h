// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QFont>
#include <QList>
#include <QPointF>
#include <QRect>
#include <QString>

#include <optional>

namespace glimra::editor {

enum class MarkKind {
    Arrow,
    Line,
    Rectangle,
    FilledRectangle,
    Ellipse,
    Pen,
    Highlighter,
    Text,
    Step,
    Redact,
    Pixelate,
};

// One mark on the picture. Geometry is in the picture's own pixels; the line width and the
// font size are in logical pixels and grow with the picture's scale, so a mark drawn on a
// HiDPI screenshot looks as thick as on any other.
struct Mark {
    MarkKind kind = MarkKind::Rectangle;
    // Two corners or ends for shapes; every point of a stroke for the pen and the
    // highlighter; the anchor (top left of the text, centre of a step) for the others.
    QList<QPointF> points;
    QColor color = Qt::red;
    qreal width = 4;
    QString text;
    qreal fontSize = 20;

    bool operator==(const Mark&) const = default;
};

// Everything the editor adds to a picture. Plain values: a copy is a snapshot, and undo keeps
// whole snapshots.
struct MarkDocument {
    QList<Mark> marks;
    // The part of the picture kept, in picture pixels; none keeps it all.
    std::optional<QRect> crop;

    bool operator==(const MarkDocument&) const = default;
};

// Whether the kind is drawn from two points that span a box.
bool isBoxKind(MarkKind kind);
bool isStrokeKind(MarkKind kind);

// The box a mark covers in picture pixels, its stroke included.
QRectF markBounds(const Mark& mark, qreal scale);

// The pixels a Redact or Pixelate mark replaces: its box grown to whole pixels, so that no
// partly covered pixel keeps any of the picture.
QRect coveredPixels(const Mark& mark);

// The drawn sizes of a mark on a picture of the given scale, in picture pixels.
qreal strokeWidth(const Mark& mark, qreal scale);
qreal stepRadius(const Mark& mark, qreal scale);
QFont markFont(const Mark& mark, qreal scale);

// The topmost mark under point (picture pixels), or -1.
int markAt(const MarkDocument& document, QPointF point, qreal scale);

// The mark moved by offset, or with its box stretched from its top left corner to newBottomRight.
Mark movedMark(Mark mark, QPointF offset);
Mark resizedMark(Mark mark, QPointF newBottomRight, qreal scale);

} // namespace glimra::editor
