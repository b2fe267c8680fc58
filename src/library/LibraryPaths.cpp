#include "library/LibraryPaths.h"

#include "platform/Settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace glimra {

QString libraryFolder()
{
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.local/share");
    const QString folder = base + QStringLiteral("/Glimra");
    QDir().mkpath(folder);
    return folder;
}

static QString configuredScreenshotFolder()
{
    return openSettings()->value(QStringLiteral("screenshotLocation")).toString();
}

QString systemScreenshotFolder()
{
    const QString configured = configuredScreenshotFolder();
    if (!configured.isEmpty()) {
        if (configured == QLatin1String("~"))
            return QDir::homePath();
        if (configured.startsWith(QLatin1String("~/")))
            return QDir::homePath() + configured.mid(1);
        return configured;
    }
    QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (pictures.isEmpty())
        pictures = QDir::homePath() + QStringLiteral("/Pictures");
    return pictures + QStringLiteral("/Screenshots");
}

QString watchableScreenshotFolder()
{
    const QString folder = systemScreenshotFolder();
    // The desktop makes ~/Pictures/Screenshots with its first screenshot; made now, that first
    // screenshot is seen too. A folder the user named is never made for them.
    if (configuredScreenshotFolder().isEmpty() && !QFileInfo::exists(folder))
        QDir().mkpath(folder);
    return folder;
}

QString timestampedStem(const QDateTime& time)
{
    return QStringLiteral("Glimra_") + time.toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss"));
}

static QString candidate(const QString& folder, const QString& stem, const QString& extension,
                         int n)
{
    const QString suffix = n == 1 ? QString() : QStringLiteral("_") + QString::number(n);
    return QDir(folder).filePath(stem + suffix + QLatin1Char('.') + extension);
}

QString uniqueFilePath(const QString& folder, const QString& stem, const QString& extension,
                       const QSet<QString>& reserved)
{
    for (int n = 1;; ++n) {
        const QString path = candidate(folder, stem, extension, n);
        if (!reserved.contains(path) && !QFileInfo::exists(path) && !QFileInfo(path).isSymLink())
            return path;
    }
}

// Gives `from` the name `to` unless `to` exists; false with errno EEXIST when it does.
static bool renameNoReplace(const QString& from, const QString& to)
{
    const QByteArray f = QFile::encodeName(from), t = QFile::encodeName(to);
    if (::renameat2(AT_FDCWD, f.constData(), AT_FDCWD, t.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // File systems without RENAME_NOREPLACE: link() refuses an existing target just the same.
    if (::link(f.constData(), t.constData()) != 0)
        return false;
    ::unlink(f.constData());
    return true;
}

CopyResult copyIntoFolder(const QString& source, const QString& folder, const QString& stem,
                          const QString& extension)
{
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        return {std::nullopt, in.errorString()};
    QTemporaryFile out(QDir(folder).filePath(QStringLiteral(".glimra-import-XXXXXX")));
    if (!out.open())
        return {std::nullopt, out.errorString()};
    QByteArray chunk;
    while (!(chunk = in.read(1 << 20)).isEmpty()) {
        if (out.write(chunk) != chunk.size())
            return {std::nullopt, out.errorString()};
    }
    if (in.error() != QFileDevice::NoError)
        return {std::nullopt, in.errorString()};
    if (!out.flush() || ::fsync(out.handle()) != 0)
        return {std::nullopt, out.errorString()};
    out.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                       QFileDevice::ReadOther);

    for (int n = 1; n < 100000; ++n) {
        const QString target = candidate(folder, stem, extension, n);
        if (renameNoReplace(out.fileName(), target)) {
            out.setAutoRemove(false);
            return {target, {}};
        }
        if (errno != EEXIST)
            return {std::nullopt, QString::fromLocal8Bit(std::strerror(errno))};
    }
    return {std::nullopt, QStringLiteral("No free file name")};
}

} // namespace glimra
