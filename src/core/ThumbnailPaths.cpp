#include "core/ThumbnailPaths.h"

#include <QCryptographicHash>
#include <QDir>
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
    const QByteArray native = QFile::encodeName(absolutePath);
    // The characters GLib leaves as they are in a path, so the hash matches the one the file
    // managers compute; everything else, spaces and non-ASCII bytes included, is escaped.
    return QStringLiteral("file://") +
           QString::fromLatin1(native.toPercentEncoding(QByteArrayLiteral("!$&'()*+,/:=@")));
}

QString cacheRoot()
{
    QString base = qEnvironmentVariable("XDG_CACHE_HOME");
    // A relative value is invalid and must be ignored.
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.cache");
    return base + QStringLiteral("/thumbnails");
}

QString entryName(const QString& uri)
{
    return QString::fromLatin1(
               QCryptographicHash::hash(uri.toUtf8(), QCryptographicHash::Md5).toHex()) +
           QStringLiteral(".png");
}

QString largeEntryPath(const QString& absolutePath)
{
    return entryPathIn(cacheRoot() + QStringLiteral("/large"), absolutePath);
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
