// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/ThumbnailFile.h"

#include <QFile>

namespace glimra::thumbnails {

QByteArray encodeEntry(const Pixels& pixels, const QString& uri, qint64 modificationTime)
{
    return QByteArray::fromStdString(
        posix::encodeEntry(pixels, uri.toStdString(), modificationTime));
}

QString writeEntry(const QString& entryPath, const QByteArray& png)
{
    return QString::fromLocal8Bit(
        posix::writeEntry(QFile::encodeName(entryPath).toStdString(), png.toStdString()));
}

qint64 modificationTime(const QString& path)
{
    return posix::modificationTime(QFile::encodeName(path).toStdString());
}

} // namespace glimra::thumbnails
