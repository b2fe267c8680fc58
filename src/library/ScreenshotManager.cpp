#include "library/ScreenshotManager.h"

#include "core/BackgroundJob.h"
#include "core/Settings.h"
#include "library/LibraryListing.h"
#include "library/LibraryPaths.h"
#include "library/ScreenshotMimeData.h"
#include "platform/Clipboard.h"
#include "platform/linux/DirectoryWatcher.h"
#include "platform/FolderPicker.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>
#include <QtConcurrent/QtConcurrentMap>

namespace glimra {

namespace {

constexpr int kConfirmationMs = 2000;

const QString kCopied = QStringLiteral("Copied to clipboard");
const QString kDeleted = QStringLiteral("Screenshot deleted");
const QString kBulkDeletedSuffix = QStringLiteral("screenshots deleted");

struct CaptureModeInfo {
    QString progress;
    QStringList arguments;
    QString captureType;
    QString failure;
};

CaptureModeInfo captureModeInfo(ScreenshotManager::CaptureMode mode)
{
    switch (mode) {
    case ScreenshotManager::CaptureMode::Area:
        return {QStringLiteral("Select area to capture..."),
                {QStringLiteral("-x"), QStringLiteral("-s")},
                QStringLiteral("selection"),
                QStringLiteral("Capture cancelled")};
    case ScreenshotManager::CaptureMode::Window:
        return {QStringLiteral("Click a window to capture..."),
                {QStringLiteral("-x"), QStringLiteral("-w")},
                QStringLiteral("window"),
                QStringLiteral("Capture cancelled")};
    case ScreenshotManager::CaptureMode::FullScreen:
        break;
    }
    return {QStringLiteral("Capturing full screen..."),
            {QStringLiteral("-x")},
            QStringLiteral("fullscreen"),
            QStringLiteral("Capture failed")};
}

struct LoadResult {
    QList<ScreenshotItemPtr> items;
    std::optional<QString> error;
};

struct DecodedFile {
    QString path;
    std::optional<QImage> preview;
};

struct ImportResult {
    enum Outcome { Imported, CopyFailed, NotReady } outcome;
    std::optional<QString> destination;
    std::optional<QImage> preview;
    FileStamp stamp; // of a source that was not ready
};

} // namespace

ScreenshotManager::ScreenshotManager(Clipboard* clipboard, FolderPicker* folderPicker,
                                     QObject* parent)
    : QObject(parent), m_clipboard(clipboard), m_folderPicker(folderPicker)
{
    m_ioPool.setMaxThreadCount(1);
}

ScreenshotManager::~ScreenshotManager()
{
    m_ioPool.waitForDone();
}

void ScreenshotManager::setAutoCopyEnabled(bool enabled)
{
    if (m_autoCopyEnabled == enabled)
        return;
    m_autoCopyEnabled = enabled;
    Q_EMIT autoCopyEnabledChanged();
}

void ScreenshotManager::setSaveFormat(const QString& format)
{
    if (format != QLatin1String("png") && format != QLatin1String("jpeg"))
        return;
    if (m_saveFormat == format)
        return;
    m_saveFormat = format;
    Q_EMIT saveFormatChanged();
}

void ScreenshotManager::setCustomSaveLocation(std::optional<QString> folder)
{
    if (m_customSaveLocation == folder)
        return;
    m_customSaveLocation = std::move(folder);
    Q_EMIT customSaveLocationChanged();
}

QString ScreenshotManager::defaultStorageURL() const
{
    return libraryFolder();
}

QString ScreenshotManager::macScreenshotDir() const
{
    return systemScreenshotFolder();
}

void ScreenshotManager::setStatusMessage(const QString& text)
{
    if (m_statusMessage == text)
        return;
    m_statusMessage = text;
    Q_EMIT statusMessageChanged();
}

void ScreenshotManager::showConfirmation(const QString& text,
                                         std::function<bool(const QString&)> stillShown)
{
    setStatusMessage(text);
    QTimer::singleShot(kConfirmationMs, this, [this, stillShown = std::move(stillShown)] {
        if (stillShown(m_statusMessage))
            setStatusMessage(QString());
    });
}

// Loading ------------------------------------------------------------------------------------

void ScreenshotManager::loadScreenshots()
{
    const QString folder = defaultStorageURL();
    // Listing and decoding run off the GUI thread; decoding uses every core.
    auto job = [folder]() -> LoadResult {
        LibraryScan scan = scanLibraryFolder(folder);
        if (scan.error)
            return {{}, scan.error};
        QThreadPool decoders;
        decoders.setMaxThreadCount(QThread::idealThreadCount());
        const QList<std::optional<QImage>> previews =
            QtConcurrent::blockingMapped(&decoders, scan.candidates, [](const LibraryCandidate& c) {
                return decodePreview(c.path);
            });
        LoadResult result;
        for (qsizetype i = 0; i < scan.candidates.size(); ++i) {
            if (!previews[i])
                continue; // not a readable image: left out without a word
            result.items.append(std::make_shared<ScreenshotItem>(
                *previews[i], scan.candidates[i].date, SyncStatus::Local, std::nullopt,
                scan.candidates[i].path, std::nullopt));
        }
        sortNewestFirst(result.items, [](const ScreenshotItemPtr& item) { return item->date; });
        return result;
    };
    runInBackground(&m_ioPool, this, std::move(job), [this](const LoadResult& result) {
        if (result.error) {
            setStatusMessage(QStringLiteral("Failed to load screenshots: ") + *result.error);
        } else {
            // A capture or import that finished while the folder was being read stays on top.
            QList<ScreenshotItemPtr> merged;
            for (const ScreenshotItemPtr& early : std::as_const(m_screenshots)) {
                const bool loaded = std::any_of(result.items.cbegin(), result.items.cend(),
                                                [&](const ScreenshotItemPtr& item) {
                                                    return item->filePath == early->filePath;
                                                });
                if (!loaded)
                    merged.append(early);
            }
            m_screenshots = merged + result.items;
            Q_EMIT screenshotsChanged();
        }
        if (!m_libraryLoaded) {
            m_libraryLoaded = true;
            Q_EMIT libraryLoaded();
        }
    });
}

// Capture ------------------------------------------------------------------------------------

QString ScreenshotManager::savePath(const QString& extension)
{
    const QString folder = m_customSaveLocation.value_or(defaultStorageURL());
    return uniqueFilePath(folder, timestampedStem(QDateTime::currentDateTime()), extension,
                          m_reservedPaths);
}

QString ScreenshotManager::captureTool() const
{
    const QString configured = openSettings()->value(settings::kCaptureTool).toString();
    if (!configured.isEmpty())
        return configured;
    return QCoreApplication::applicationDirPath() + QStringLiteral("/glimra-capture");
}

quint64 ScreenshotManager::startCapture(CaptureMode mode)
{
    const quint64 ticket = m_nextTicket++;
    const CaptureModeInfo info = captureModeInfo(mode);
    if (onBeforeCapture)
        onBeforeCapture();
    setStatusMessage(info.progress);

    // Two captures in the same second must not share a file: the name is held until the tool
    // has finished with it.
    const QString path = savePath(m_saveFormat);
    m_reservedPaths.insert(path);

    auto* process = new QProcess(this);
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    auto fail = [this, ticket, path](const QString& status) {
        m_reservedPaths.remove(path);
        setStatusMessage(status);
        Q_EMIT captureFinished(ticket, nullptr, status);
    };
    connect(process, &QProcess::errorOccurred, this, [process, fail](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        fail(QStringLiteral("Capture failed: ") + process->errorString());
        process->deleteLater();
    });
    connect(process, &QProcess::finished, this,
            [this, process, fail, ticket, path, info](int exitCode, QProcess::ExitStatus status) {
                process->deleteLater();
                if (status != QProcess::NormalExit || exitCode != 0 || !QFileInfo::exists(path)) {
                    fail(info.failure);
                    return;
                }
                runInBackground(
                    QThreadPool::globalInstance(), this, [path] { return decodePreview(path); },
                    [this, ticket, path, info](const std::optional<QImage>& preview) {
                        m_reservedPaths.remove(path);
                        if (!preview) {
                            // The tool wrote something that is not a picture: nothing to add.
                            Q_EMIT captureFinished(ticket, nullptr, m_statusMessage);
                            return;
                        }
                        auto item = std::make_shared<ScreenshotItem>(
                            *preview, QDateTime::currentDateTime(), SyncStatus::Local, std::nullopt,
                            path, info.captureType);
                        insertNewItem(item);
                        Q_EMIT captureFinished(ticket, item, QString());
                    });
            });
    process->start(captureTool(), info.arguments + QStringList{path});
    return ticket;
}

void ScreenshotManager::insertNewItem(const ScreenshotItemPtr& item)
{
    m_screenshots.prepend(item);
    Q_EMIT screenshotsChanged();
    setStatusMessage(QString());
    if (m_autoCopyEnabled)
        copyToClipboard(item);
    uploadScreenshot(item);
}

// Clipboard, deletion, save folder -----------------------------------------------------------

void ScreenshotManager::copyToClipboard(const ScreenshotItemPtr& item)
{
    if (!item)
        return;
    m_clipboard->setMimeData(new ScreenshotMimeData(item));
    showConfirmation(kCopied, [](const QString& shown) { return shown == kCopied; });
}

void ScreenshotManager::removeFile(const ScreenshotItemPtr& item)
{
    if (!item->filePath)
        return;
    const QString name = QFileInfo(*item->filePath).fileName();
    QFile::remove(*item->filePath);
    for (const ServerScreenshot& record : std::as_const(m_serverScreenshots)) {
        if (record.originalFilename == name) {
            deleteServerScreenshot(record);
            break;
        }
    }
}

void ScreenshotManager::deleteScreenshot(const ScreenshotItemPtr& item)
{
    if (!item)
        return;
    removeFile(item);
    const QUuid id = item->id;
    m_screenshots.removeIf([&](const ScreenshotItemPtr& other) { return other->id == id; });
    Q_EMIT screenshotsChanged();
    showConfirmation(kDeleted, [](const QString& shown) { return shown == kDeleted; });
}

void ScreenshotManager::deleteScreenshots(const QList<ScreenshotItemPtr>& items)
{
    QSet<QUuid> ids;
    for (const ScreenshotItemPtr& item : items) {
        if (!item)
            continue;
        removeFile(item);
        ids.insert(item->id);
    }
    m_screenshots.removeIf([&](const ScreenshotItemPtr& other) { return ids.contains(other->id); });
    Q_EMIT screenshotsChanged();
    showConfirmation(QString::number(items.size()) + QLatin1Char(' ') + kBulkDeletedSuffix,
                     [](const QString& shown) { return shown.endsWith(kBulkDeletedSuffix); });
}

void ScreenshotManager::selectSaveFolder()
{
    if (!m_folderPicker)
        return;
    const std::optional<QString> folder = m_folderPicker->chooseFolder(
        QStringLiteral("Select"), QStringLiteral("Select a folder to save screenshots"));
    if (folder && !folder->isEmpty())
        setCustomSaveLocation(*folder);
}

// Watching and import ------------------------------------------------------------------------

void ScreenshotManager::startWatchingScreenshots()
{
    stopWatchingScreenshots();
    const QString systemFolder = watchableScreenshotFolder();
    const FolderListing present = listFolder(systemFolder, true);
    if (!present.error) {
        m_knownDesktopFiles.clear();
        for (const FolderEntry& entry : present.entries)
            m_knownDesktopFiles.insert(entry.name);
    }

    auto* systemWatcher = new DirectoryWatcher(this);
    if (!systemWatcher->watch(systemFolder)) {
        delete systemWatcher;
        return;
    }
    connect(systemWatcher, &DirectoryWatcher::changed, this,
            &ScreenshotManager::checkForNewScreenshots);
    m_screenshotDirWatcher = systemWatcher;

    snapshotStorageModDates();

    auto* storageWatcher = new DirectoryWatcher(this);
    if (!storageWatcher->watch(defaultStorageURL())) {
        delete storageWatcher;
        return;
    }
    connect(storageWatcher, &DirectoryWatcher::changed, this,
            &ScreenshotManager::checkForModifiedScreenshots);
    m_storageDirWatcher = storageWatcher;
}

void ScreenshotManager::stopWatchingScreenshots()
{
    delete m_screenshotDirWatcher;
    m_screenshotDirWatcher = nullptr;
    delete m_storageDirWatcher;
    m_storageDirWatcher = nullptr;
}

void ScreenshotManager::snapshotStorageModDates()
{
    const FolderListing listing = listFolder(defaultStorageURL());
    if (listing.error)
        return;
    for (const FolderEntry& entry : listing.entries) {
        const QDateTime modified = QFileInfo(entry.path).lastModified();
        if (modified.isValid())
            m_knownFileModDates.insert(entry.name, modified);
    }
}

static bool isSystemScreenshotName(const QString& name)
{
    return name.startsWith(QLatin1String("Screenshot")) && hasLibraryImageExtension(name);
}

void ScreenshotManager::checkForNewScreenshots()
{
    const FolderListing listing = listFolder(macScreenshotDir());
    if (listing.error)
        return;
    for (const FolderEntry& entry : listing.entries) {
        if (!isSystemScreenshotName(entry.name) || m_knownDesktopFiles.contains(entry.name))
            continue;
        // Its writer is not done with it; the close that ends the write brings us back.
        if (m_screenshotDirWatcher && m_screenshotDirWatcher->isBeingWritten(entry.name))
            continue;
        const auto unready = m_unreadyDesktopFiles.constFind(entry.name);
        if (unready != m_unreadyDesktopFiles.constEnd()) {
            if (*unready == FileStamp::of(QFileInfo(entry.path)))
                continue; // unchanged since it last failed to decode
            m_unreadyDesktopFiles.erase(unready);
        }
        m_knownDesktopFiles.insert(entry.name);
        importScreenshot(entry.path);
    }
}

void ScreenshotManager::importScreenshot(const QString& sourcePath)
{
    const QString folder = defaultStorageURL();
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
    runInBackground(&m_ioPool, this, std::move(job), [this, name](const ImportResult& result) {
        switch (result.outcome) {
        case ImportResult::CopyFailed:
            setStatusMessage(QStringLiteral("Failed to import screenshot"));
            return;
        case ImportResult::NotReady:
            // Not a picture, or not a whole one yet: it stays where it is, and is looked at
            // again once it changes.
            m_knownDesktopFiles.remove(name);
            m_unreadyDesktopFiles.insert(name, result.stamp);
            return;
        case ImportResult::Imported:
            break;
        }
        insertNewItem(std::make_shared<ScreenshotItem>(
            *result.preview, QDateTime::currentDateTime(), SyncStatus::Local, std::nullopt,
            *result.destination, QStringLiteral("fullscreen")));
    });
}

void ScreenshotManager::checkForModifiedScreenshots()
{
    const FolderListing listing = listFolder(defaultStorageURL());
    if (listing.error)
        return;
    QStringList changed;
    for (const FolderEntry& entry : listing.entries) {
        if (!hasLibraryImageExtension(entry.name))
            continue;
        if (m_storageDirWatcher && m_storageDirWatcher->isBeingWritten(entry.name))
            continue; // half-written: its modification time is not final yet
        const QDateTime modified = QFileInfo(entry.path).lastModified();
        if (!modified.isValid())
            continue;
        const auto known = m_knownFileModDates.constFind(entry.name);
        if (known == m_knownFileModDates.constEnd()) {
            m_knownFileModDates.insert(entry.name, modified);
        } else if (modified > *known) {
            m_knownFileModDates.insert(entry.name, modified);
            changed.append(entry.path);
        }
    }
    if (changed.isEmpty())
        return;
    auto job = [changed] {
        QList<DecodedFile> decoded;
        for (const QString& path : changed)
            decoded.append({path, decodePreview(path)});
        return decoded;
    };
    runInBackground(&m_ioPool, this, std::move(job), [this](const QList<DecodedFile>& decoded) {
        bool replaced = false;
        for (const DecodedFile& file : decoded) {
            if (!file.preview)
                continue; // keep the old picture rather than show nothing
            for (const ScreenshotItemPtr& item : std::as_const(m_screenshots)) {
                if (item->filePath == file.path) {
                    item->image = *file.preview;
                    replaced = true;
                    break;
                }
            }
        }
        if (replaced)
            Q_EMIT screenshotsChanged();
    });
}

// Sync ---------------------------------------------------------------------------------------

void ScreenshotManager::uploadScreenshot(const ScreenshotItemPtr&)
{
    // Uploads arrive with the account sync; until then every screenshot stays local.
}

void ScreenshotManager::deleteServerScreenshot(const ServerScreenshot&) {}

void ScreenshotManager::performFullSync() {}

} // namespace glimra
