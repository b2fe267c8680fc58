#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace glimra::thumbnails {

// 32-bit pixels in QImage's RGB32/ARGB32 layout (0xAARRGGBB in native order); alpha is
// ignored unless hasAlpha.
struct Pixels {
    const std::uint8_t* bits = nullptr;
    int width = 0;
    int height = 0;
    qsizetype bytesPerLine = 0;
    bool hasAlpha = false;
};

// A cache entry: an 8-bit PNG (RGB, or RGBA with alpha) whose two tEXt chunks, ahead of the
// pixels, name the file it shows and that file's modification time. Empty for no pixels.
QByteArray encodeEntry(const Pixels& pixels, const QString& uri, qint64 modificationTime);

// Writes an entry whole or not at all, readable by the owner only, creating its folders
// private to the owner. An empty string on success, else the reason.
QString writeEntry(const QString& entryPath, const QByteArray& png);

// The file's modification time in whole seconds since the epoch; -1 when it cannot be read.
qint64 modificationTime(const QString& path);

} // namespace glimra::thumbnails
