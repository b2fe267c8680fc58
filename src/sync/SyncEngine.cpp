// SPDX-License-Identifier: GPL-3.0-or-later
#include "sync/SyncEngine.h"

#include "core/AtomicFile.h"
#include "core/BackgroundJob.h"
#include "core/JsonMembers.h"
#include "library/LibraryListing.h"
#include "library/LibraryPaths.h"
#include "library/ScreenshotManager.h"
#include "sync/NetworkManager.h"
#include "sync/SyncPlan.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <algorithm>

namespace glimra {

using namespace sync;

namespace {

const QString kDeleted = QStringLiteral("Deleted from server");
const QString kDeleteFailed = QStringLiteral("Delete failed");
const QString kDownloaded = QStringLiteral("Downloaded");

// Every name in the folder, hidden ones and our temporaries included; none when unlistable.
QSet<QString> folderNames(const QString& folder)
{
    QSet<QString> names;
    for (const FolderEntry& entry : listFolder(folder, true).entries)
        names.insert(entry.name);
    return names;
}

} // namespace

struct SyncEngine::Batch {
    int pending = 0;
    int added = 0;  // by this batch: what its summary counts
    int joined = 0; // added by a batch that was fetching the same name already
    int failed = 0;
    std::function<void(const Batch&)> done;
};

struct SyncEngine::FullSync {
    Report report;
    int pending = 1; // the listing's own step, ended once everything else is started
    std::function<void(const Report&)> finished;

    void end()
    {
        if (--pending == 0 && finished)
            finished(report);
    }
};

SyncEngine::SyncEngine(ScreenshotManager* library, NetworkManager* network, TokenSource token,
                       QObject* parent)
    : QObject(parent), m_library(library), m_network(network), m_token(std::move(token))
{
    m_decoders.setMaxThreadCount(std::max(1, QThread::idealThreadCount()));
}

SyncEngine::~SyncEngine()
{
    m_decoders.clear();
    m_decoders.waitForDone();
}

std::optional<QString> SyncEngine::token() const
{
    if (!m_library || !m_network || !m_token)
        return std::nullopt;
    std::optional<QString> token = m_token();
    if (!token || token->isEmpty())
        return std::nullopt;
    return token;
}

// Uploads ------------------------------------------------------------------------------------

void SyncEngine::uploadScreenshot(const ScreenshotItemPtr& item)
{
    if (const std::optional<QString> stored = token())
        upload(item, *stored, {});
}

bool SyncEngine::upload(const ScreenshotItemPtr& item, const QString& token,
                        std::function<void(bool ok)> ended)
{
    if (!item || !item->filePath || !QFileInfo::exists(*item->filePath))
        return false;
    const QString path = *item->filePath;
    const QString type = item->captureType.value_or(QStringLiteral("fullscreen"));
    // Syncing from now on, also while waiting for a free transfer, so that a full sync
    // meanwhile does not send it a second time.
    item->syncStatus = SyncStatus::Syncing;
    m_library->notifyItemChanged(item);
    QPointer<SyncEngine> self(this);
    enqueue(
        [self, item, token, path, type, ended](const Release& release) {
            const auto settle = [self, item, ended, release](const UploadReply& reply) {
                const bool ok = reply.ok && reply.screenshot;
                item->syncStatus = ok ? SyncStatus::Synced : SyncStatus::Failed;
                if (ok) {
                    if (const std::optional<qint64> id =
                            integerMember(*reply.screenshot, QLatin1StringView("id")))
                        item->serverId = QString::number(*id);
                }
                release();
                if (self && self->m_library) {
                    if (ok)
                        self->m_library->setLastSyncDate(QDateTime::currentDateTime());
                    self->m_library->notifyItemChanged(item);
                }
                if (ended)
                    ended(ok);
            };
            if (!self || !self->m_network)
                return settle({});
            self->m_network->uploadScreenshot(token, path, type, settle);
        },
        true);
    return true;
}

// Listings -----------------------------------------------------------------------------------

void SyncEngine::loadServerScreenshots(std::function<void(bool listed)> listed)
{
    const std::optional<QString> stored = token();
    if (!stored) {
        if (listed)
            listed(false);
        return;
    }
    m_library->setLoadingServer(true);
    QPointer<SyncEngine> self(this);
    m_network->listServerScreenshots(*stored, [self, listed](const ListReply& reply) {
        const bool ok = reply.ok && reply.screenshots && self && self->m_library;
        if (self && self->m_library) {
            self->m_library->setLoadingServer(false);
            if (ok) {
                self->m_library->setServerScreenshots(decodeServerScreenshots(*reply.screenshots));
                self->downloadMissingScreenshots();
            }
        }
        if (listed)
            listed(ok);
    });
}

void SyncEngine::performFullSync(std::function<void(const Report&)> finished)
{
    auto sync = std::make_shared<FullSync>();
    sync->finished = std::move(finished);
    const std::optional<QString> stored = token();
    if (!stored)
        return sync->end();
    sync->report.signedIn = true;
    QPointer<SyncEngine> self(this);
    m_network->listServerScreenshots(
        *stored, [self, sync, token = *stored](const ListReply& reply) {
            if (!self || !self->m_library || !reply.ok || !reply.screenshots)
                return sync->end();
            const QList<ServerScreenshot> records = decodeServerScreenshots(*reply.screenshots);
            sync->report.listed = true;
            sync->report.onServer = records.size();
            self->m_library->setServerScreenshots(records);
            if (self->m_library->isLibraryLoaded())
                return self->afterListing(records, token, sync);
            // The library is still being read at start: deciding now would miss every local
            // file that the server lacks.
            auto connection = std::make_shared<QMetaObject::Connection>();
            *connection = connect(self->m_library, &ScreenshotManager::libraryLoaded, self,
                                  [self, connection, records, token, sync] {
                                      disconnect(*connection);
                                      self->afterListing(records, token, sync);
                                  });
        });
}

void SyncEngine::afterListing(const QList<ServerScreenshot>& records, const QString& token,
                              std::shared_ptr<FullSync> sync)
{
    if (!m_library)
        return sync->end();
    const SyncPlan plan = planSync(folderNames(libraryFolder()), m_library->screenshots(), records);
    for (const ScreenshotItemPtr& item : plan.uploads) {
        const bool started = upload(item, token, [sync](bool ok) {
            ++(ok ? sync->report.uploaded : sync->report.uploadsFailed);
            sync->end();
        });
        sync->pending += started ? 1 : 0;
    }
    ++sync->pending;
    downloadBatch(plan.downloads, token, [sync](const Batch& batch) {
        sync->report.downloaded += batch.added + batch.joined;
        sync->report.downloadsFailed += batch.failed;
        sync->end();
    });
    sync->end();
}

// Downloads ----------------------------------------------------------------------------------

void SyncEngine::downloadMissingScreenshots()
{
    const std::optional<QString> stored = token();
    if (!stored)
        return;
    const SyncPlan plan =
        planSync(folderNames(libraryFolder()), {}, m_library->serverScreenshots());
    downloadBatch(plan.downloads, *stored, {});
}

void SyncEngine::downloadBatch(const QList<ServerScreenshot>& missing, const QString& token,
                               std::function<void(const Batch&)> done)
{
    auto batch = std::make_shared<Batch>();
    batch->done = std::move(done);
    if (missing.isEmpty()) {
        if (batch->done)
            batch->done(*batch);
        return;
    }
    if (m_library)
        m_library->setDownloadingMissing(true);
    batch->pending = static_cast<int>(missing.size());
    for (const ServerScreenshot& record : missing) {
        QList<std::shared_ptr<Batch>>& waiting = m_downloads[record.originalFilename];
        waiting.append(batch);
        if (waiting.size() == 1)
            enqueue(downloadJob(record, token));
    }
}

SyncEngine::Job SyncEngine::downloadJob(const ServerScreenshot& record, const QString& token)
{
    QPointer<SyncEngine> self(this);
    return [self, record, token](const Release& release) {
        const QString folder = libraryFolder();
        // Short and hidden whatever the record's name: the name itself may be as long as the
        // file system allows.
        auto file =
            std::make_shared<AtomicFile>(QDir(folder).filePath(QStringLiteral("glimra-download")));
        if (!self || !self->m_network || !file->open()) {
            release();
            if (self)
                self->downloadEnded(record.originalFilename, nullptr);
            return;
        }
        const QString target = QDir(folder).filePath(record.originalFilename);
        const auto sink = [file](QByteArrayView piece) { return file->write(piece); };
        self->m_network->downloadScreenshotTo(
            token, record.id, sink,
            [self, file, record, target, release](const DownloadReply& reply, qint64 bytes) {
                release();
                if (!self)
                    return;
                // Never over a file that appeared meanwhile, a capture of the same second or
                // another program's: the local file wins.
                if (!reply.ok || bytes == 0 || !file->commitIfFree(target))
                    return self->downloadEnded(record.originalFilename, nullptr);
                runInBackground(
                    &self->m_decoders, self, [target] { return decodePreview(target); },
                    [self, record, target](const std::optional<QImage>& preview) {
                        // Not a picture: the file stays, as any other file of the folder.
                        ScreenshotItemPtr item;
                        if (preview) {
                            item = std::make_shared<ScreenshotItem>(
                                *preview, QDateTime::currentDateTime(), SyncStatus::Synced,
                                QString::number(record.id), target,
                                record.captureType.isEmpty() ? std::nullopt
                                                             : std::optional(record.captureType));
                        }
                        self->downloadEnded(record.originalFilename, item);
                    });
            });
    };
}

void SyncEngine::downloadEnded(const QString& name, const ScreenshotItemPtr& item)
{
    const QList<std::shared_ptr<Batch>> waiting = m_downloads.take(name);
    bool added = false;
    if (item && m_library) {
        const QList<ScreenshotItemPtr>& items = m_library->screenshots();
        added = std::none_of(items.cbegin(), items.cend(), [&](const ScreenshotItemPtr& other) {
            return other->filePath == item->filePath;
        });
        if (added)
            m_library->insertItemByDate(item);
    }
    // The batch that asked first counts what was added; one that joined it only waited.
    for (qsizetype i = 0; i < waiting.size(); ++i) {
        Batch& batch = *waiting[i];
        if (!added)
            ++batch.failed;
        else
            ++(i == 0 ? batch.added : batch.joined);
        if (--batch.pending == 0)
            finishBatch(batch);
    }
}

void SyncEngine::finishBatch(Batch& batch)
{
    if (m_library) {
        m_library->setDownloadingMissing(false);
        if (batch.added > 0) {
            m_library->setLastSyncDate(QDateTime::currentDateTime());
            m_library->showConfirmation(
                downloadSummary(batch.added), kDownloadSummaryTime,
                [](const QString& shown) { return shown.contains(kDownloaded); });
        }
    }
    if (batch.done)
        batch.done(batch);
}

// Deletion -----------------------------------------------------------------------------------

void SyncEngine::deleteServerScreenshot(const ServerScreenshot& record,
                                        std::function<void(std::optional<QString>)> ended)
{
    const std::optional<QString> stored = token();
    if (!stored) {
        if (ended)
            ended(std::nullopt);
        return;
    }
    QPointer<SyncEngine> self(this);
    m_network->deleteServerScreenshot(
        *stored, record.id, [self, record, ended](const DeleteReply& reply) {
            if (!self || !self->m_library) {
                if (ended)
                    ended(std::nullopt);
                return;
            }
            const QString shown = self->settleDeletion(record, reply);
            // Any deletion may clear the success; a failure stays for its own full time.
            self->m_library->showConfirmation(
                shown, kDeleteMessageTime,
                [shown](const QString& now) { return now == kDeleted || now == shown; });
            if (ended)
                ended(shown);
        });
}

QString SyncEngine::settleDeletion(const ServerScreenshot& record, const DeleteReply& reply)
{
    if (!reply.ok)
        return reply.message && !reply.message->isEmpty() ? *reply.message : kDeleteFailed;
    QList<ServerScreenshot> kept = m_library->serverScreenshots();
    kept.removeIf([&](const ServerScreenshot& other) { return other.id == record.id; });
    m_library->setServerScreenshots(kept);
    // The local copy of the same name goes too, but only a name that stays inside the
    // library folder.
    if (isSafeLibraryName(record.originalFilename)) {
        const QString path = QDir(libraryFolder()).filePath(record.originalFilename);
        if (QFileInfo::exists(path)) {
            QFile::remove(path);
            m_library->removeItemsWithPaths({path});
        }
    }
    return kDeleted;
}

// The transfer slots -------------------------------------------------------------------------

void SyncEngine::enqueue(Job job, bool upload)
{
    (upload ? m_waitingUploads : m_waiting).append(std::move(job));
    startWaitingJobs();
}

void SyncEngine::startWaitingJobs()
{
    while (m_running < kMaxParallelTransfers &&
           !(m_waitingUploads.isEmpty() && m_waiting.isEmpty())) {
        const Job job = (m_waitingUploads.isEmpty() ? m_waiting : m_waitingUploads).takeFirst();
        ++m_running;
        QPointer<SyncEngine> self(this);
        auto released = std::make_shared<bool>(false);
        job([self, released] {
            if (*released || !self)
                return;
            *released = true;
            --self->m_running;
            self->startWaitingJobs();
        });
    }
}

} // namespace glimra
