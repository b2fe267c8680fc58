#include "library/DesktopScreenshotImporter.h"

#include "core/BackgroundJob.h"
#include "library/LibraryPaths.h"
#include "library/ScreenshotItem.h"
#include "platform/linux/DirectoryWatcher.h"

#include <QDateTime>
#include <QFile>

namespace glimra {

namespace {

struct ImportResult {
    enum Outcome { Imported, CopyFailed, NotReady } outcome;
    std::optional<QString> destination;
    std::optional<QImage> preview;
    FileStamp stamp; // of a source that was not ready
};

bool isDesktopScreenshotName(const QString& name)
{
    return name.startsWith(QLatin1String("Screenshot")) && hasLibraryImageExtension(name);
}

} // namespace

DesktopScreenshotImporter::DesktopScreenshotImporter(QThreadPool* io, QObject* parent)
    : QObject(parent), m_io(io), m_watcher(new DirectoryWatcher(this))
{
    connect(m_watcher, &DirectoryWatcher::changed, this,
            &DesktopScreenshotImporter::checkForNewScreenshots);
}

DesktopScreenshotImporter::~DesktopScreenshotImporter() = default;

bool DesktopScreenshotImporter::start()
{
    const QString folder = watchableScreenshotFolder();
    const FolderListing present = listFolder(folder, true);
    if (!present.error) {
        m_knownFiles.clear();
        for (const FolderEntry& entry : present.entries)
            m_knownFiles.insert(entry.name);
    }
    return m_watcher->watch(folder);
}

void DesktopScreenshotImporter::stop()
{
    m_watcher->stop();
}

void DesktopScreenshotImporter::checkForNewScreenshots()
{
    const FolderListing listing = listFolder(systemScreenshotFolder());
    if (listing.error)
        return;
    for (const FolderEntry& entry : listing.entries) {
        if (!isDesktopScreenshotName(entry.name) || m_knownFiles.contains(entry.name))
            continue;
        // Its writer is not done with it; the close that ends the write brings us back.
        if (m_watcher->isBeingWritten(entry.name))
            continue;
        const auto unready = m_unreadyFiles.constFind(entry.name);
        if (unready != m_unreadyFiles.constEnd()) {
            if (*unready == FileStamp::of(QFileInfo(entry.path)))
                continue; // unchanged since it last failed to decode
            m_unreadyFiles.erase(unready);
        }
        m_knownFiles.insert(entry.name);
        importScreenshot(entry.path);
    }
}

void DesktopScreenshotImporter::importScreenshot(const QString& sourcePath)
{
    const QString folder = libraryFolder();
    const QString stem = timestampedStem(QDateTime::currentDateTime());
    const QString extension = QFileInfo(sourcePath).suffix();
    auto job = [sourcePath, folder, stem, extension]() -> ImportResult {
        // Some writers create the file, close it empty and only then write it, so a finished
        // write is no proof of a finished file: the source must decode, and must not change
        // while it is copied, before it is removed.
        const QFileInfo before(sourcePath);
        if (before.size() == 0)
            return {ImportResult::NotReady, {}, {}, FileStamp::of(before)};
        std::optional<QImage> preview = decodePreview(sourcePath);
        if (!preview)
            return {ImportResult::NotReady, {}, {}, FileStamp::of(before)};
        const CopyResult copy = copyIntoFolder(sourcePath, folder, stem, extension);
        if (!copy.path)
            return {ImportResult::CopyFailed, {}, {}, {}};
        const QFileInfo after(sourcePath);
        if (FileStamp::of(after) != FileStamp::of(before)) {
            QFile::remove(*copy.path);
            return {ImportResult::NotReady, {}, {}, FileStamp::of(after)};
        }
        QFile::remove(sourcePath);
        return {ImportResult::Imported, copy.path, std::move(preview), {}};
    };
    const QString name = QFileInfo(sourcePath).fileName();
    runInBackground(m_io, this, std::move(job), [this, name](const ImportResult& result) {
        switch (result.outcome) {
        case ImportResult::CopyFailed:
            Q_EMIT importFailed(QStringLiteral("Failed to import screenshot"));
            return;
        case ImportResult::NotReady:
            // Not a picture, or not a whole one yet: it stays where it is, and is looked at
            // again once it changes.
            m_knownFiles.remove(name);
            m_unreadyFiles.insert(name, result.stamp);
            return;
        case ImportResult::Imported:
            Q_EMIT imported(*result.destination, *result.preview);
            return;
        }
    });
}

} // namespace glimra
