// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "editor/Marks.h"

#include <QImage>
#include <QList>
#include <QPoint>
#include <QRect>

class QPainter;

namespace glimra::editor {

// The picture with the document's marks on it, as the untouched picture and the rectangles
// of it that the marks change, drawn afresh: a 4K save reads most rows straight from the
// original instead of copying it first.
struct RenderedPicture {
    struct Patch {
        QPoint at; // in the picture's pixels
        QImage pixels;
    };
    QImage picture;       // opaque (Format_RGB32), shared with the caller's where it already was
    QRect kept;           // the crop, inside the picture
    QList<Patch> patches; // not overlapping; each whole, even where the crop cuts it

    // The kept part in one image, patches applied.
    QImage flattened() const;
};

// The one function behind what the editor shows, saves and copies. Redactions are drawn
// last, with no smoothing, over whole pixels: every pixel under one is its fill colour.
// scale is the picture's device pixel ratio.
RenderedPicture renderMarks(const QImage& picture, const MarkDocument& document, qreal scale);

// The same in one opaque (Format_RGB32) image, cropped.
QImage renderDocument(const QImage& picture, const MarkDocument& document, qreal scale);

// One mark as it is being drawn, for the editor's live view: Redact and Pixelate show as the
// box they will fill. stepNumber is the number a step marker shows.
void paintPreview(QPainter& painter, const Mark& mark, int stepNumber, qreal scale);

// The number each step marker shows: its place among the document's steps, so the numbers
// stay 1, 2, 3... whichever is deleted.
int stepNumberOf(const MarkDocument& document, qsizetype index);

} // namespace glimra::editor
