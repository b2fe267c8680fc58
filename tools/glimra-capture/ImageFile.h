#pragma once

#include "PixelView.h"

#include <QByteArray>
#include <QString>

namespace glimra::capture {

enum class ImageFormat { Png, Jpeg };

// JPEG for a .jpg or .jpeg name (any case), PNG for everything else.
ImageFormat formatForPath(const QString& path);

// Why nothing could be written at path (one line, no trailing newline), or an empty string
// when its folder exists and accepts new files. Checked before grabbing, so that a bad path
// never costs the user an interactive selection.
QString destinationProblem(const QString& path);

// Encodes the pixels in the format the path asks for. Empty on failure.
QByteArray encodeForPath(const PixelView& pixels, const QString& path);

// Writes bytes to a hidden file beside path and renames it over path, so readers see the whole
// file or none. Returns an empty string on success, the reason otherwise; on failure nothing
// is left behind.
QString writeFileAtomically(const QString& path, const QByteArray& bytes);

} // namespace glimra::capture
