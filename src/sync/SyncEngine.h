// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/ServerScreenshot.h"
#include "core/SyncService.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QThreadPool>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace glimra {

class NetworkManager;
class ScreenshotManager;

namespace sync {
struct DeleteReply;
} // namespace sync

// Keeps the library and the copies stored with the account in step: uploads new
// screenshots, lists the account's screenshots, downloads those the library folder lacks and
// deletes server copies. Local and server copies are matched by file name alone.
//
// Lives on the GUI thread. Every operation returns at once and does nothing while no token
// is stored. Results go back into the library through its facade, which may be destroyed
// first: the steps that need it are then skipped.
//
// Transfers run a few at a time, uploads and downloads alike, so a library of thousands never
// holds thousands of files in memory or as open connections. A download streams into a
// hidden file of the library folder and takes its name only when it is whole and only if no
// file has taken that name meanwhile: a local file always wins. Names from the server that
// are no plain file name are never written or deleted.
class SyncEngine final : public QObject, public SyncService {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SyncEngine)

public:
    using TokenSource = std::function<std::optional<QString>()>;

    static constexpr int kMaxParallelTransfers = 4;
    static constexpr std::chrono::milliseconds kDownloadSummaryTime{3000};
    static constexpr std::chrono::milliseconds kDeleteMessageTime{2000};

    // What one full sync did, for whoever waits for it.
    struct Report {
        bool signedIn = false;
        bool listed = false; // the listing succeeded
        qsizetype onServer = 0;
        int uploaded = 0;
        int uploadsFailed = 0;
        int downloaded = 0;      // also those an overlapping sync was already fetching
        int downloadsFailed = 0; // includes names a local file took meanwhile
    };

    // token reads the stored session token each time it is needed.
    SyncEngine(ScreenshotManager* library, NetworkManager* network, TokenSource token,
               QObject* parent = nullptr);
    ~SyncEngine() override;

    void uploadScreenshot(const ScreenshotItemPtr& item) override;
    void loadServerScreenshots() override { loadServerScreenshots({}); }
    void performFullSync() override { performFullSync({}); }
    void downloadMissingScreenshots() override;
    void deleteServerScreenshot(const ServerScreenshot& record) override
    {
        deleteServerScreenshot(record, {});
    }
    void replaceServerCopy(const ScreenshotItemPtr& item) override { replaceServerCopy(item, {}); }
    void shareScreenshot(qint64 serverId, std::optional<qint64> lifetimeSeconds,
                         ShareDone done) override;
    void revokeShareLinks(qint64 serverId, ShareDone done) override;

    // As above; listed runs once the listing has ended (false: signed out or it failed).
    void loadServerScreenshots(std::function<void(bool listed)> listed);
    // As above; finished runs once the uploads it started and its downloads have all ended.
    void performFullSync(std::function<void(const Report&)> finished);
    // As above; ended runs with the status line's text once the reply is handled, or with
    // nothing when no request was sent.
    void deleteServerScreenshot(const ServerScreenshot& record,
                                std::function<void(std::optional<QString> shown)> ended);
    // As above; ended runs once the last step has ended, with whether the server now holds
    // the new picture and none of the older ones (true too when it held none).
    void replaceServerCopy(const ScreenshotItemPtr& item, std::function<void(bool ok)> ended);

private:
    struct Batch;
    struct FullSync;
    using Release = std::function<void()>;
    using Job = std::function<void(Release)>;

    std::optional<QString> token() const;
    bool upload(const ScreenshotItemPtr& item, const QString& token,
                std::function<void(bool ok)> ended);
    void afterListing(const QList<ServerScreenshot>& records, const QString& token,
                      std::shared_ptr<FullSync> sync);
    // Starts a batch for these records; done runs when every one of them has ended, at once
    // when there are none (then nothing is shown).
    void downloadBatch(const QList<ServerScreenshot>& missing, const QString& token,
                       std::function<void(const Batch&)> done);
    Job downloadJob(const ServerScreenshot& record, const QString& token);
    void downloadEnded(const QString& name, const ScreenshotItemPtr& item);
    void finishBatch(Batch& batch);
    // Applies a deletion's reply to the library; returns the status line's text.
    QString settleDeletion(const ServerScreenshot& record, const sync::DeleteReply& reply);
    // Deletes these records on the server and from the library's list of them, never a file.
    void dropServerRecords(const QList<qint64>& ids, const QString& token,
                           std::function<void(bool ok)> ended);
    // Uploads go ahead of the downloads waiting (in order among themselves), so that a fresh
    // capture is synced in seconds while a large library is being fetched.
    void enqueue(Job job, bool upload = false);
    void startWaitingJobs();

    QPointer<ScreenshotManager> m_library;
    QPointer<NetworkManager> m_network;
    TokenSource m_token;
    QThreadPool m_decoders;
    QList<Job> m_waitingUploads;
    QList<Job> m_waiting;
    int m_running = 0;
    // The batches waiting for each name being downloaded; the first one asked for it. A name
    // already on its way is not fetched a second time by a batch that overlaps.
    QHash<QString, QList<std::shared_ptr<Batch>>> m_downloads;
};

} // namespace glimra
