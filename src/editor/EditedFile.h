// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "editor/MarkRenderer.h"

#include <QByteArray>
#include <QDateTime>
#include <QImage>
#include <QString>

#include <optional>

namespace glimra::editor {

// The file bytes of a finished picture in the library's format, "png" or "jpeg": the picture
// and nothing else (no text, time, profile or thumbnail chunks), so a saved edit carries
// nothing of what its marks cover. PNG goes through the capture tool's encoder. Empty when
// the picture cannot be encoded. Safe on any thread.
QByteArray encodePicture(const QImage& picture, const QString& format);
// The same for a rendered document: PNG is encoded from the picture and its patches as they
// are, never put together in one image first.
QByteArray encodePicture(const RenderedPicture& rendered, const QString& format);

struct SaveOutcome {
    std::optional<QString> path;
    QString error;
};

// Writes a finished picture into folder as a new screenshot named for the time of the save
// (numbered _2, _3... when taken), never over an existing file. Safe on any thread.
SaveOutcome saveAsNewScreenshot(const RenderedPicture& picture, const QString& format,
                                const QString& folder, const QDateTime& when);

// Replaces the file at path with the picture, in the format its name says, all at once: a
// reader sees the old file or the new one, never a part.
SaveOutcome replaceScreenshot(const RenderedPicture& picture, const QString& path);

} // namespace glimra::editor
