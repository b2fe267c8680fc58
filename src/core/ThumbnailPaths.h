// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/ThumbnailEntry.h"

#include <QString>

namespace glimra {

// Where previews live in the desktop's shared thumbnail cache, so file managers and Glimra
// make each preview once and both can use it. Pure path arithmetic: nothing is created.
namespace thumbnails {

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
