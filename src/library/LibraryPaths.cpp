// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/LibraryPaths.h"

#include "core/AtomicFile.h"
#include "core/Settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>

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
    return openSettings()->value(settings::kScreenshotLocation).toString();
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

QString numberedFilePath(const QString& folder, const QString& stem, const QString& extension,
                         int n)
{
    const QString suffix = n == 1 ? QString() : QStringLiteral("_") + QString::number(n);
    return QDir(folder).filePath(stem + suffix + QLatin1Char('.') + extension);
}

QString uniqueFilePath(const QString& folder, const QString& stem, const QString& extension,
                       const QSet<QString>& reserved)
{
    for (int n = 1;; ++n) {
        const QString path = numberedFilePath(folder, stem, extension, n);
        if (!reserved.contains(path) && !QFileInfo::exists(path) && !QFileInfo(path).isSymLink())
            return path;
    }
}

CopyResult copyIntoFolder(const QString& source, const QString& folder, const QString& stem,
                          const QString& extension)
{
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        return {std::nullopt, in.errorString()};
    return copyIntoFolder(in, folder, stem, extension);
}

CopyResult copyIntoFolder(QIODevice& in, const QString& folder, const QString& stem,
                          const QString& extension)
{
    // Library files are the user's pictures: readable by all, like any saved picture, and
    // synced to disk before they count as imported, since the source is deleted next.
    AtomicFile out(numberedFilePath(folder, stem, extension, 1), {0644, true});
    if (!out.open())
        return {std::nullopt, out.errorString()};
    QByteArray chunk;
    while (!(chunk = in.read(1 << 20)).isEmpty()) {
        if (!out.write(chunk))
            return {std::nullopt, out.errorString()};
    }
    if (!in.atEnd())
        return {std::nullopt, in.errorString()};
    for (int n = 1; n < 100000; ++n) {
        const QString target = numberedFilePath(folder, stem, extension, n);
        if (out.commitIfFree(target))
            return {target, {}};
        if (out.errorNumber() != EEXIST)
            return {std::nullopt, out.errorString()};
    }
    return {std::nullopt, QStringLiteral("No free file name")};
}

} // namespace glimra
