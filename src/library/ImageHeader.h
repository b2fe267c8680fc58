#pragma once

#include <QSize>
#include <QString>

#include <optional>

namespace glimra {

// The pixel size a PNG or JPEG file declares in its header, read without decoding anything;
// nothing when the file does not start like one of them. Reads a few hundred bytes for a
// PNG, up to the frame header for a JPEG (past its metadata segments, which it skips).
std::optional<QSize> readImageHeader(const QString& path);

} // namespace glimra
