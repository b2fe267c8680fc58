// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QSize>
#include <QString>

#include <optional>

namespace glimra {

// The pixel size a PNG or JPEG file declares in its header, read without decoding anything;
// nothing when the file does not start like one of them. Reads a few hundred bytes for a
// PNG, up to the frame header for a JPEG (past its metadata segments, which it skips).
std::optional<QSize> readImageHeader(const QString& path);

// Whether the regular file open at fd holds a whole PNG or JPEG as far as its two ends tell:
// a readable header, and the end marker (PNG's IEND chunk, JPEG's end-of-image) as its last
// bytes. A file still being written lacks the end; a damaged middle is only found by decoding.
bool isWholeImageFile(int fd);

} // namespace glimra
