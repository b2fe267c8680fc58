// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/ThumbnailPaths.h"

#include <QFile>

namespace glimra::thumbnails {

namespace {

QString entryPathIn(const QString& folder, const QString& absolutePath)
{
    return folder + QLatin1Char('/') + entryName(fileUri(absolutePath));
}

} // namespace

QString fileUri(const QString& absolutePath)
{
    // The name's bytes as the file system holds them, so a name in another encoding keeps
    // its own URI, and a hash other programs can compute too.
    return QString::fromStdString(posix::fileUri(QFile::encodeName(absolutePath).toStdString()));
}

QString cacheRoot()
{
    return QFile::decodeName(QByteArray::fromStdString(posix::cacheRoot()));
}

QString entryName(const QString& uri)
{
    return QString::fromStdString(posix::entryName(uri.toStdString()));
}

QString largeEntryPath(const QString& absolutePath)
{
    return QFile::decodeName(QByteArray::fromStdString(
        posix::largeEntryPath(QFile::encodeName(absolutePath).toStdString())));
}

QString failFolder()
{
    return cacheRoot() + QStringLiteral("/fail/glimra-") + QStringLiteral(GLIMRA_VERSION);
}

QString failEntryPath(const QString& absolutePath)
{
    return entryPathIn(failFolder(), absolutePath);
}

} // namespace glimra::thumbnails
