// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/ScreenshotManager.h"

#include "core/BackgroundJob.h"
#include "core/SyncService.h"
#include "library/CaptureRunner.h"
#include "library/DesktopScreenshotImporter.h"
#include "library/LibraryListing.h"
#include "library/LibraryPaths.h"
#include "library/LibraryWatcher.h"
#include "library/PreviewStore.h"
#include "library/ScreenshotList.h"
#include "library/ScreenshotMimeData.h"
#include "library/StatusLine.h"
#include "library/ThumbnailCache.h"
#include "platform/Clipboard.h"
#include "platform/FolderPicker.h"

#include <QFile>
#include <QFileInfo>

namespace glimra {

namespace {

const QString kCopied = QStringLiteral("Copied to clipboard");
const QString kTooLargeToCopy = QStringLiteral("Screenshot too large to copy");
const QString kDeleted = QStringLiteral("Screenshot deleted");
const QString kBulkDeletedSuffix = QStringLiteral("screenshots deleted");

struct LoadResult {
    QList<ScreenshotItemPtr> items;
    std::optional<QString> error;
};

// The library folder's pictures as items, newest first, known from their headers: their
// previews are loaded afterwards.
LoadResult loadLibrary(const QString& folder)
{
    LibraryScan scan = scanLibraryFolder(folder);
    if (scan.error)
        return {{}, scan.error};
    LoadResult result;
    result.items.reserve(scan.candidates.size());
    for (const LibraryCandidate& candidate : std::as_const(scan.candidates)) {
        result.items.append(std::make_shared<ScreenshotItem>(QImage(), candidate.date,
                                                             SyncStatus::Local, std::nullopt,
                                                             candidate.path, std::nullopt));
    }
    sortNewestFirst(result.items, [](const ScreenshotItemPtr& item) { return item->date; });
    return result;
}

} // namespace

ScreenshotManager::ScreenshotManager(Clipboard* clipboard, FolderPicker* folderPicker,
                                     QObject* parent)
    : QObject(parent), m_clipboard(clipboard), m_folderPicker(folderPicker),
      m_list(new ScreenshotList(this)), m_status(new StatusLine(this)),
      m_capture(new CaptureRunner(this)), m_importer(new DesktopScreenshotImporter(this)),
      m_libraryWatcher(new LibraryWatcher(&m_ioPool, this)), m_previews(new PreviewStore(this))
{
    m_ioPool.setMaxThreadCount(1);
    // Precise: a delayed capture must not begin before its time.
    m_countdownTimer.setInterval(1000);
    m_countdownTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_countdownTimer, &QTimer::timeout, this, &ScreenshotManager::tickCountdown);
    connect(m_list, &ScreenshotList::changed, this, &ScreenshotManager::screenshotsChanged);
    connect(m_list, &ScreenshotList::itemAdded, this, &ScreenshotManager::itemAdded);
    connect(m_list, &ScreenshotList::itemRemoved, this, [this](const ScreenshotItemPtr& item) {
        m_previews->forget(item);
        Q_EMIT itemRemoved(item);
    });
    connect(m_list, &ScreenshotList::replaced, this, &ScreenshotManager::screenshotsReplaced);
    connect(m_previews, &PreviewStore::previewLoaded, this, &ScreenshotManager::previewLoaded);
    connect(m_previews, &PreviewStore::pendingChanged, this,
            &ScreenshotManager::previewsPendingChanged);
    connect(m_previews, &PreviewStore::unreadable, this, [this](const ScreenshotItemPtr& item) {
        m_list->removeIf([&item](const ScreenshotItemPtr& other) { return other == item; });
    });
    connect(m_list, &ScreenshotList::itemChanged, this, &ScreenshotManager::itemChanged);
    connect(m_status, &StatusLine::changed, this, &ScreenshotManager::statusMessageChanged);
    connect(m_importer, &DesktopScreenshotImporter::imported, this, [this](const QString& path) {
        const auto item = std::make_shared<ScreenshotItem>(
            QImage(), QDateTime::currentDateTime(), SyncStatus::Local, std::nullopt, path,
            captureTypeText(CaptureMode::FullScreen));
        insertNewItem(item);
        // Decoded on the previews' threads, which also drop it should it not decode; during a
        // burst, only once it has settled, so that the imports keep the cores.
        m_previews->loadWhenQuiet(item);
    });
    connect(m_importer, &DesktopScreenshotImporter::importFailed, m_status, &StatusLine::set);
    connect(m_libraryWatcher, &LibraryWatcher::pictureChanged, this,
            [this](const QString& path, const QImage& preview) {
                if (const ScreenshotItemPtr item = m_list->findByPath(path)) {
                    m_previews->setPreview(item, preview);
                    m_list->notifyChanged(item);
                }
            });
}

ScreenshotManager::~ScreenshotManager()
{
    m_ioPool.waitForDone();
}

const QList<ScreenshotItemPtr>& ScreenshotManager::screenshots() const
{
    return m_list->items();
}

qsizetype ScreenshotManager::previewsPending() const
{
    return m_previews->pending();
}

QImage ScreenshotManager::preview(const ScreenshotItemPtr& item) const
{
    return m_previews->preview(item);
}

void ScreenshotManager::adoptPreview(const ScreenshotItemPtr& item)
{
    if (!item || item->image.isNull())
        return;
    m_previews->setPreview(item, previewOf(item->image));
    item->image = QImage();
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

QString ScreenshotManager::statusMessage() const
{
    return m_status->text();
}

void ScreenshotManager::setStatusMessage(const QString& text)
{
    m_status->set(text);
}

void ScreenshotManager::showConfirmation(const QString& text, std::chrono::milliseconds after,
                                         std::function<bool(const QString&)> stillShown)
{
    m_status->showConfirmation(text, after, std::move(stillShown));
}

// Loading and watching ----------------------------------------------------------------------

void ScreenshotManager::loadScreenshots()
{
    const QString folder = libraryFolder();
    runInBackground(
        &m_ioPool, this, [folder] { return loadLibrary(folder); },
        [this](const LoadResult& result) {
            if (result.error)
                setStatusMessage(QStringLiteral("Failed to load screenshots: ") + *result.error);
            else
                m_list->replaceWithLoaded(result.items);
            m_previews->loadAll(result.items);
            if (!m_libraryLoaded) {
                m_libraryLoaded = true;
                Q_EMIT libraryLoaded();
            }
        });
}

void ScreenshotManager::startWatchingScreenshots()
{
    stopWatchingScreenshots();
    // Without the desktop's folder the library is not watched either: both or neither.
    if (m_importer->start())
        m_libraryWatcher->start();
}

void ScreenshotManager::stopWatchingScreenshots()
{
    m_importer->stop();
    m_libraryWatcher->stop();
}

// Clipboard, deletion, save folder --------------------------------------------------------

void ScreenshotManager::copyToClipboard(const ScreenshotItemPtr& item)
{
    if (!item)
        return;
    auto data = std::make_unique<ScreenshotMimeData>(item);
    if (data->formats().isEmpty()) {
        // Better said than a silent preview in its place.
        setStatusMessage(kTooLargeToCopy);
        return;
    }
    m_clipboard->setMimeData(data.release());
    showConfirmation(kCopied);
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
    m_list->removeIf([id = item->id](const ScreenshotItemPtr& other) { return other->id == id; });
    showConfirmation(kDeleted);
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
    m_list->removeIf([&ids](const ScreenshotItemPtr& other) { return ids.contains(other->id); });
    showConfirmation(QString::number(items.size()) + QLatin1Char(' ') + kBulkDeletedSuffix,
                     kConfirmationTime,
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

// The list as the sync changes it ------------------------------------------------------------

void ScreenshotManager::insertItemByDate(const ScreenshotItemPtr& item)
{
    adoptPreview(item);
    m_list->insertByDate(item);
}

void ScreenshotManager::removeItemsWithPaths(const QSet<QString>& paths)
{
    m_list->removeIf([&paths](const ScreenshotItemPtr& item) {
        return item->filePath && paths.contains(*item->filePath);
    });
}

void ScreenshotManager::notifyItemChanged(const ScreenshotItemPtr& item)
{
    m_list->notifyChanged(item);
}

// Sync state and operations ------------------------------------------------------------------

void ScreenshotManager::setServerScreenshots(QList<ServerScreenshot> records)
{
    if (m_serverScreenshots == records)
        return;
    m_serverScreenshots = std::move(records);
    Q_EMIT serverScreenshotsChanged();
}

void ScreenshotManager::setLoadingServer(bool loading)
{
    if (m_isLoadingServer == loading)
        return;
    m_isLoadingServer = loading;
    Q_EMIT isLoadingServerChanged();
}

void ScreenshotManager::setDownloadingMissing(bool downloading)
{
    if (m_isDownloadingMissing == downloading)
        return;
    m_isDownloadingMissing = downloading;
    Q_EMIT isDownloadingMissingChanged();
}

void ScreenshotManager::setLastSyncDate(std::optional<QDateTime> date)
{
    if (m_lastSyncDate == date)
        return;
    m_lastSyncDate = std::move(date);
    Q_EMIT lastSyncDateChanged();
}

void ScreenshotManager::uploadScreenshot(const ScreenshotItemPtr& item)
{
    if (m_sync && item)
        m_sync->uploadScreenshot(item);
}

void ScreenshotManager::loadServerScreenshots()
{
    if (m_sync)
        m_sync->loadServerScreenshots();
}

void ScreenshotManager::performFullSync()
{
    if (m_sync)
        m_sync->performFullSync();
}

void ScreenshotManager::downloadMissingScreenshots()
{
    if (m_sync)
        m_sync->downloadMissingScreenshots();
}

void ScreenshotManager::deleteServerScreenshot(const ServerScreenshot& record)
{
    if (m_sync)
        m_sync->deleteServerScreenshot(record);
}

void ScreenshotManager::shareServerScreenshot(qint64 serverId,
                                              std::optional<qint64> lifetimeSeconds, ShareDone done)
{
    if (!m_sync)
        return done({false, QStringLiteral("Sign in to share screenshots")});
    m_sync->shareScreenshot(serverId, lifetimeSeconds, std::move(done));
}

void ScreenshotManager::revokeShareLinks(qint64 serverId, ShareDone done)
{
    if (!m_sync)
        return done({false, QStringLiteral("Sign in to share screenshots")});
    m_sync->revokeShareLinks(serverId, std::move(done));
}

void ScreenshotManager::fileReplaced(const ScreenshotItemPtr& item, const QImage& preview)
{
    if (!item)
        return;
    item->image = preview;
    adoptPreview(item);
    notifyItemChanged(item);
    if (m_sync)
        m_sync->replaceServerCopy(item);
}

} // namespace glimra
