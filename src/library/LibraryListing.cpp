// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/LibraryListing.h"

#include "core/AtomicFile.h"
#include "core/ImageFormat.h"
#include "library/ImageHeader.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <dirent.h>

namespace glimra {

bool hasLibraryImageExtension(const QString& fileName)
{
    const QStringView extension = fileExtension(fileName);
    return announcedImageFormat(fileName) &&
           std::none_of(extension.begin(), extension.end(), [](QChar c) { return c.isUpper(); });
}

QDateTime creationTime(const QFileInfo& info)
{
    QDateTime time = info.birthTime();
    if (!time.isValid())
        time = info.lastModified();
    if (!time.isValid())
        time = QDateTime::currentDateTime();
    return time;
}

FolderListing listFolder(const QString& folder, bool includeHidden)
{
    FolderListing listing;
    DIR* dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir) {
        listing.error = QString::fromLocal8Bit(std::strerror(errno));
        return listing;
    }
    const QDir base(folder);
    errno = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const QString name = QFile::decodeName(entry->d_name);
        if (name == QLatin1String(".") || name == QLatin1String(".."))
            continue;
        if (!includeHidden && name.startsWith(QLatin1Char('.')))
            continue;
        listing.entries.append({name, base.filePath(name)});
    }
    if (errno != 0)
        listing.error = QString::fromLocal8Bit(std::strerror(errno));
    ::closedir(dir);
    return listing;
}

bool isStaleTemporary(const FolderEntry& entry)
{
    if (!AtomicFile::isTemporaryName(entry.name) ||
        !hasLibraryImageExtension(entry.name.sliced(1, entry.name.size() - 8)))
        return false;
    const QFileInfo info(entry.path);
    // Another writer (the capture tool, a second download) may be filling it right now.
    return info.isFile() && !info.isSymLink() &&
           info.lastModified().secsTo(QDateTime::currentDateTime()) > kStaleTemporarySeconds;
}

LibraryScan scanLibraryFolder(const QString& folder)
{
    LibraryScan scan;
    FolderListing listing = listFolder(folder, true);
    if (listing.error) {
        scan.error = listing.error;
        return scan;
    }
    for (const FolderEntry& entry : std::as_const(listing.entries)) {
        // A write cut short by a crash or a power cut leaves its hidden temporary behind.
        if (isStaleTemporary(entry)) {
            QFile::remove(entry.path);
            continue;
        }
        if (entry.name.startsWith(QLatin1Char('.')) || !hasLibraryImageExtension(entry.name))
            continue;
        const QFileInfo info(entry.path);
        // The header tells a picture from anything else without decoding it; a file that
        // fails to decode even so is dropped when its preview is made.
        if (!info.isFile() || !readImageHeader(entry.path))
            continue;
        scan.candidates.append({entry.path, creationTime(info)});
    }
    return scan;
}

} // namespace glimra
