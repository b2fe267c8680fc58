// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QSet>
#include <QString>

#include <optional>

class QIODevice;

namespace glimra {

// $XDG_DATA_HOME/Glimra, created when missing; worked out afresh on every call.
QString libraryFolder();

// Where the desktop's own screenshot tool saves: the "screenshotLocation" setting when it is
// set (a leading ~ stands for the home folder), else the pictures folder's Screenshots.
QString systemScreenshotFolder();

// The same folder, made first when it is the desktop's default and does not exist yet.
QString watchableScreenshotFolder();

// "Glimra_" and the local time as yyyy-MM-dd_HH-mm-ss.
QString timestampedStem(const QDateTime& time);

// The path of the first name in folder that no file has and no one has reserved:
// "<stem>.<ext>", then "<stem>_2.<ext>", "<stem>_3.<ext>", ...
QString uniqueFilePath(const QString& folder, const QString& stem, const QString& extension,
                       const QSet<QString>& reserved = {});

struct CopyResult {
    std::optional<QString> path; // where the copy landed
    QString error;               // why it did not, when it did not
};

// Copies source into folder under a fresh "<stem>.<ext>" name (see uniqueFilePath). The copy
// is written under a hidden name and then given its final name without replacing anything, so
// the folder never holds a partial file and no existing file is ever overwritten.
CopyResult copyIntoFolder(const QString& source, const QString& folder, const QString& stem,
                          const QString& extension);
// The same from an open file, read from its current position to its end.
CopyResult copyIntoFolder(QIODevice& source, const QString& folder, const QString& stem,
                          const QString& extension);

// The name "<stem>.<ext>" would have in folder for n == 1, "<stem>_<n>.<ext>" after that.
QString numberedFilePath(const QString& folder, const QString& stem, const QString& extension,
                         int n);

} // namespace glimra
