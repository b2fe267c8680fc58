// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/ImageFormatName.h"

#include <QString>
#include <QStringView>

#include <optional>

namespace glimra {

// The extension of a path's file name: what follows its last dot. Empty when the name has
// no dot, or only a leading one (that marks a hidden file, not an extension).
QStringView fileExtension(QStringView path);

// The format a name announces, by its extension lower-cased: "png" is PNG, "jpg" and "jpeg"
// are JPEG, anything else announces nothing.
std::optional<ImageFormat> announcedImageFormat(QStringView path);

// What a file is written or sent as: the announced format, PNG when there is none.
inline ImageFormat imageFormatFor(QStringView path)
{
    return announcedImageFormat(path).value_or(ImageFormat::Png);
}

// "image/png" or "image/jpeg".
QString mimeType(ImageFormat format);

} // namespace glimra
