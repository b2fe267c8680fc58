// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QString>

namespace glimra {

// Previews through the desktop's shared thumbnail cache. Every function here may run on any
// thread and touches only the files it names.

// The preview of a cached picture: it covers the library's preview size, for a list row.
QImage previewOf(const QImage& picture);

// The cached large thumbnail of the file as it is now; null when there is none, or the entry
// names another file or another modification time, or does not decode. Never trusts an entry
// it cannot read through.
QImage readCachedThumbnail(const QString& path, qint64 modificationTime);

// Makes the large thumbnail of the file from its decoded picture (or the whole picture when
// it is no bigger) and writes it to the cache. Returns the thumbnail.
QImage cacheThumbnail(const QString& path, qint64 modificationTime, const QImage& picture);

// Decodes the file at no more than the large thumbnail's size where the format allows; null
// when it is not a readable picture.
QImage decodeForThumbnail(const QString& path);

// Whether this very version of the file (by modification time) was found unreadable before.
bool isRecordedUnreadable(const QString& path, qint64 modificationTime);
void recordUnreadable(const QString& path, qint64 modificationTime);

struct PreviewLoad {
    enum Outcome { Loaded, Unreadable } outcome = Unreadable;
    QImage preview; // only when asked for
};

// The whole road from a library file to its preview: the cache when it holds this version,
// else the file itself, decoded once and cached (or recorded as unreadable).
PreviewLoad loadPreview(const QString& path, bool wantPreview);

} // namespace glimra
