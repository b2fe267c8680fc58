// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "library/LibraryListing.h"

#include <QImage>
#include <QString>

#include <optional>

namespace glimra {

struct DesktopImport {
    enum Outcome {
        Imported, // now at destination
        NotReady, // not a whole picture yet, or changed while it was looked at
        Failed,   // could not be moved: error says why; the source is where it was
        Ignored,  // gone, or not a regular file (a link, a pipe, a folder): left alone
    };
    Outcome outcome = Failed;
    QString destination;
    FileStamp stamp; // of the source, for anything not imported
    QString error;
};

// Size and modification time of the entry at path itself, a link's own and not its target's.
FileStamp entryStamp(const QString& path);

// The preview of the regular file at path (a link to one is followed); nothing for anything
// else. A pipe is never read, so no writer can keep the caller waiting.
std::optional<QImage> decodeRegularFilePreview(const QString& path);

// Moves one screenshot from the desktop's folder into folder as "<stem>.<extension>" (or the
// first free numbered name), once it is a whole picture at both ends (not decoded). The move is a
// rename where the two folders share a file system, so the file appears whole and is never there
// twice; elsewhere a synced copy, then the source is removed. Links are never followed and nothing
// but a regular file is opened for more than a look, so a pipe cannot block the caller. Blocking
// file work: run it off the GUI thread.
DesktopImport importDesktopFile(const QString& source, const QString& folder, const QString& stem,
                                const QString& extension);

} // namespace glimra
