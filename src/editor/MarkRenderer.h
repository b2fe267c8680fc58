// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "editor/Marks.h"

#include <QImage>

class QPainter;

namespace glimra::editor {

// The picture with the document's marks on it, cropped: the one function behind what the
// editor shows, saves and copies. The result is opaque (Format_RGB32). Redactions are drawn
// last, with no smoothing, over whole pixels: every pixel under one is its fill colour.
// scale is the picture's device pixel ratio.
QImage renderDocument(const QImage& picture, const MarkDocument& document, qreal scale);

// One mark as it is being drawn, for the editor's live view: Redact and Pixelate show as the
// box they will fill. stepNumber is the number a step marker shows.
void paintPreview(QPainter& painter, const Mark& mark, int stepNumber, qreal scale);

// The number each step marker shows: its place among the document's steps, so the numbers
// stay 1, 2, 3... whichever is deleted.
int stepNumberOf(const MarkDocument& document, qsizetype index);

} // namespace glimra::editor
