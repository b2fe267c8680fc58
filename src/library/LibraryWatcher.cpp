// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/LibraryWatcher.h"

#include "core/BackgroundJob.h"
#include "library/DesktopFileImport.h"
#include "library/LibraryListing.h"
#include "library/LibraryPaths.h"
#include "platform/linux/DirectoryWatcher.h"

#include <QDir>

namespace glimra {

namespace {

struct DecodedFile {
    QString path;
    std::optional<QImage> preview;
};

} // namespace

LibraryWatcher::LibraryWatcher(QThreadPool* io, QObject* parent)
    : QObject(parent), m_io(io), m_watcher(new DirectoryWatcher(this))
{
    connect(m_watcher, &DirectoryWatcher::changed, this,
            &LibraryWatcher::checkForModifiedScreenshots);
}

LibraryWatcher::~LibraryWatcher() = default;

bool LibraryWatcher::start()
{
    rememberModificationTimes();
    if (!m_watcher->watch(libraryFolder()))
        return false;
    m_watcher->keepFinishedNames();
    return true;
}

void LibraryWatcher::stop()
{
    m_watcher->stop();
}

void LibraryWatcher::rememberModificationTimes()
{
    const FolderListing listing = listFolder(libraryFolder());
    if (listing.error)
        return;
    for (const FolderEntry& entry : listing.entries) {
        const QDateTime modified = QFileInfo(entry.path).lastModified();
        if (modified.isValid())
            m_knownModificationTimes.insert(entry.name, modified);
    }
}

void LibraryWatcher::checkForModifiedScreenshots()
{
    // Only the entries named by the events: a burst of imports into a library of thousands
    // would otherwise look at every file once per import, on the GUI thread.
    const DirectoryWatcher::Finished finished = m_watcher->takeFinished();
    QList<FolderEntry> entries;
    if (finished.all) {
        const FolderListing listing = listFolder(libraryFolder());
        if (listing.error)
            return;
        entries = listing.entries;
    } else {
        const QDir folder(libraryFolder());
        for (const QString& name : finished.names) {
            if (!name.startsWith(QLatin1Char('.')))
                entries.append({name, folder.filePath(name)});
        }
    }
    QStringList changed;
    for (const FolderEntry& entry : std::as_const(entries)) {
        if (!hasLibraryImageExtension(entry.name))
            continue;
        if (m_watcher->isBeingWritten(entry.name))
            continue; // half-written: its modification time is not final yet
        const QDateTime modified = QFileInfo(entry.path).lastModified();
        if (!modified.isValid())
            continue;
        const auto known = m_knownModificationTimes.constFind(entry.name);
        if (known == m_knownModificationTimes.constEnd()) {
            m_knownModificationTimes.insert(entry.name, modified);
        } else if (modified > *known) {
            m_knownModificationTimes.insert(entry.name, modified);
            changed.append(entry.path);
        }
    }
    if (changed.isEmpty())
        return;
    auto job = [changed] {
        QList<DecodedFile> decoded;
        for (const QString& path : changed)
            decoded.append({path, decodeRegularFilePreview(path)});
        return decoded;
    };
    runInBackground(m_io, this, std::move(job), [this](const QList<DecodedFile>& decoded) {
        for (const DecodedFile& file : decoded) {
            // A picture that does not decode keeps its old preview rather than show nothing.
            if (file.preview)
                Q_EMIT pictureChanged(file.path, *file.preview);
        }
    });
}

} // namespace glimra
