// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QRect>
#include <QString>

namespace glimra::editor {

struct SelectedText {
    QString text;  // the words read in the area, in reading order, one line per text line
    QString error; // why nothing could be read; empty when reading worked (even with no words)
};

// Reads the words of the picture through the text reader helper (program, with language's
// data) and keeps those that stand mostly inside area. Blocking: for the thread pool.
SelectedText readTextIn(const QImage& picture, const QRect& area, const QString& program,
                        const QString& language);

} // namespace glimra::editor
