#pragma once

#include <QString>

namespace glimra {

// Where previews live in the desktop's shared thumbnail cache, so file managers and Glimra
// make each preview once and both can use it. Pure path arithmetic: nothing is created.
namespace thumbnails {

// Edge of the "large" size, the one Glimra writes and reads: its previews are 160x100 device
// pixels, more than the 128 of the "normal" size.
inline constexpr int kLargeSize = 256;

// Text keys every entry carries: whose preview it is, and that file's modification time in
// whole seconds. An entry whose keys do not match the file is stale.
inline constexpr char kUriKey[] = "Thumb::URI";
inline constexpr char kMTimeKey[] = "Thumb::MTime";

// The file:// URI of an absolute path, spelt as the desktop's other programs spell it:
// bytes that may not stand in a URI path %-escaped in upper-case hex.
QString fileUri(const QString& absolutePath);

// $XDG_CACHE_HOME/thumbnails, or ~/.cache/thumbnails.
QString cacheRoot();

// The MD5 of the URI in lower-case hex, then ".png".
QString entryName(const QString& uri);

// The large preview of the file at absolutePath.
QString largeEntryPath(const QString& absolutePath);

// Glimra's own record that the file could not be read as a picture (fail/glimra-<version>/),
// so it is not decoded again until it changes.
QString failEntryPath(const QString& absolutePath);

// The folder failEntryPath uses.
QString failFolder();

} // namespace thumbnails
} // namespace glimra
