// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/ThumbnailEntry.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace glimra::thumbnails {

// A cache entry: an 8-bit PNG (RGB, or RGBA with alpha) whose two tEXt chunks, ahead of the
// pixels, name the file it shows and that file's modification time. Empty for no pixels.
QByteArray encodeEntry(const Pixels& pixels, const QString& uri, qint64 modificationTime);

// Writes an entry whole or not at all, readable by the owner only, creating its folders
// private to the owner. An empty string on success, else the reason.
QString writeEntry(const QString& entryPath, const QByteArray& png);

// The file's modification time in whole seconds since the epoch; -1 when it cannot be read.
qint64 modificationTime(const QString& path);

} // namespace glimra::thumbnails
