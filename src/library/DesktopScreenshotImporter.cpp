// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/DesktopScreenshotImporter.h"

#include "core/BackgroundJob.h"
#include "library/DesktopFileImport.h"
#include "library/LibraryPaths.h"
#include "platform/linux/DirectoryWatcher.h"

#include <QDateTime>
#include <QDir>
#include <QTimer>

#include <utility>

namespace glimra {

namespace {

bool isDesktopScreenshotName(const QString& name)
{
    return name.startsWith(QLatin1String("Screenshot")) && hasLibraryImageExtension(name);
}

} // namespace

DesktopScreenshotImporter::DesktopScreenshotImporter(QObject* parent)
    : QObject(parent), m_watcher(new DirectoryWatcher(this))
{
    // Each import is a look at both ends of a file and a rename: the disk is the limit.
    m_pool.setMaxThreadCount(qBound(2, QThread::idealThreadCount() * 2, 4));
    connect(m_watcher, &DirectoryWatcher::changed, this,
            &DesktopScreenshotImporter::checkForNewScreenshots);
}

DesktopScreenshotImporter::~DesktopScreenshotImporter()
{
    m_pool.waitForDone();
}

bool DesktopScreenshotImporter::start()
{
    ++m_generation;
    m_retries.clear();
    m_folder = watchableScreenshotFolder();
    const FolderListing present = listFolder(m_folder, true);
    if (!present.error) {
        m_knownFiles.clear();
        for (const FolderEntry& entry : present.entries)
            m_knownFiles.insert(entry.name);
    }
    return m_watcher->watch(m_folder);
}

void DesktopScreenshotImporter::stop()
{
    ++m_generation;
    m_watcher->stop();
    m_folder.clear();
}

void DesktopScreenshotImporter::pause()
{
    ++m_pauses;
}

void DesktopScreenshotImporter::resume()
{
    if (m_pauses > 0 && --m_pauses == 0 && !m_folder.isEmpty() &&
        std::exchange(m_checkSkipped, false))
        checkForNewScreenshots();
}

void DesktopScreenshotImporter::checkForNewScreenshots()
{
    if (m_pauses > 0) {
        m_checkSkipped = true;
        return;
    }
    const FolderListing listing = listFolder(m_folder);
    if (listing.error)
        return;
    for (const FolderEntry& entry : listing.entries) {
        if (!isDesktopScreenshotName(entry.name) || m_knownFiles.contains(entry.name))
            continue;
        // Its writer is not done with it; the close that ends the write brings us back.
        if (m_watcher->isBeingWritten(entry.name))
            continue;
        const auto failed = m_retries.constFind(entry.name);
        if (failed != m_retries.constEnd()) {
            if (failed->stamp == entryStamp(entry.path))
                continue; // unchanged since it last failed: its timer looks again
            // Changed: a fresh start, with all its retries.
            m_retries.erase(failed);
        }
        importScreenshot(entry.name, entry.path);
    }
}

void DesktopScreenshotImporter::importScreenshot(const QString& name, const QString& sourcePath)
{
    m_knownFiles.insert(name);
    const QString folder = libraryFolder();
    const QString stem = timestampedStem(QDateTime::currentDateTime());
    const QString extension = QFileInfo(name).suffix();
    runInBackground(
        &m_pool, this,
        [sourcePath, folder, stem, extension] {
            return importDesktopFile(sourcePath, folder, stem, extension);
        },
        [this, name](const DesktopImport& result) { finish(name, result); });
}

void DesktopScreenshotImporter::finish(const QString& name, const DesktopImport& result)
{
    if (result.outcome == DesktopImport::Imported) {
        m_retries.remove(name);
        Q_EMIT imported(result.destination);
        return;
    }
    // It stays where it is and is looked at again once it changes.
    m_knownFiles.remove(name);
    Retry& retry = m_retries[name];
    retry.stamp = result.stamp;
    if (result.outcome == DesktopImport::Failed)
        Q_EMIT importFailed(QStringLiteral("Failed to import screenshot"));
    if (result.outcome == DesktopImport::Ignored || retry.attempts >= kRetries)
        return;
    // A slow writer, a full disk, a folder briefly closed: such causes pass without a change
    // to the file that would bring it back, so it is also looked at again on a timer.
    const auto delay = kFirstRetry * (1 << retry.attempts);
    ++retry.attempts;
    QTimer::singleShot(delay, this,
                       [this, name, generation = m_generation] { this->retry(name, generation); });
}

void DesktopScreenshotImporter::retry(const QString& name, quint64 generation)
{
    if (generation != m_generation || m_knownFiles.contains(name) || !m_retries.contains(name))
        return;
    if (m_watcher->isBeingWritten(name))
        return; // its writer's close brings it back
    if (m_pauses > 0) {
        QTimer::singleShot(kFirstRetry, this,
                           [this, name, generation] { this->retry(name, generation); });
        return;
    }
    importScreenshot(name, QDir(m_folder).filePath(name));
}

} // namespace glimra
