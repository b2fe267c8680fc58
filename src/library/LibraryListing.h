// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QFileInfo>
#include <QList>
#include <QString>

#include <optional>

namespace glimra {

// A picture format's extension spelt in lower case ("png", "jpg", "jpeg"): the library
// leaves other spellings (PNG, Jpg) alone, like any other file that is not its own.
bool hasLibraryImageExtension(const QString& fileName);

// The file's birth time; its modification time where the file system keeps no birth time; the
// current time only when neither can be read.
QDateTime creationTime(const QFileInfo& info);

// Size and modification time: enough to tell whether a file changed between two looks.
struct FileStamp {
    qint64 size = -1;
    QDateTime modified;
    static FileStamp of(const QFileInfo& info) { return {info.size(), info.lastModified()}; }
    friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

struct FolderEntry {
    QString name;
    QString path;
};

struct FolderListing {
    QList<FolderEntry> entries; // in the order the file system returns them
    std::optional<QString> error;
};

// The folder's direct entries, hidden ones (a leading dot) left out unless asked for.
FolderListing listFolder(const QString& folder, bool includeHidden = false);

struct LibraryCandidate {
    QString path;
    QDateTime date;
};

// A hidden temporary of an interrupted write of a library file, old enough that no writer
// still fills it.
inline constexpr qint64 kStaleTemporarySeconds = 3600;
bool isStaleTemporary(const FolderEntry& entry);

// Files of the library folder whose name and header say picture, with their creation
// times, in listing order. Stale temporaries are removed on the way.
struct LibraryScan {
    QList<LibraryCandidate> candidates;
    std::optional<QString> error;
};
LibraryScan scanLibraryFolder(const QString& folder);

// Newest first; entries with equal dates keep their relative order.
template <typename T, typename DateOf> void sortNewestFirst(QList<T>& list, DateOf dateOf)
{
    std::stable_sort(list.begin(), list.end(),
                     [&](const T& a, const T& b) { return dateOf(a) > dateOf(b); });
}

} // namespace glimra
