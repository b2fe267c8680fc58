// SPDX-License-Identifier: GPL-3.0-or-later
// Replacing the account's copy of a screenshot whose file was written over (a redacted edit):
// the new picture goes up first, and only then are the older records deleted, on the server
// alone. A plain server deletion would take the local file of the name with it, which here is
// the new picture.
#include "sync/SyncEngine.h"

#include "library/ScreenshotManager.h"
#include "sync/NetworkManager.h"
#include "sync/SyncPlan.h"

#include <QFileInfo>

namespace glimra {

using namespace sync;

namespace {

const QString kNotReplaced =
    QStringLiteral("The account still holds the earlier picture: replacing it failed");

} // namespace

void SyncEngine::replaceServerCopy(const ScreenshotItemPtr& item, std::function<void(bool)> ended)
{
    const std::optional<QString> stored = token();
    if (!stored || !item || !item->filePath) {
        if (ended)
            ended(!stored);
        return;
    }
    const QString name = QFileInfo(*item->filePath).fileName();
    QPointer<SyncEngine> self(this);
    const auto failed = [self, ended] {
        if (self && self->m_library)
            self->m_library->showConfirmation(kNotReplaced);
        if (ended)
            ended(false);
    };
    // The server's own list says which records hold the earlier picture: the library's copy
    // of that list may be stale or not loaded yet.
    m_network->listServerScreenshots(
        *stored, [self, item, name, token = *stored, ended, failed](const ListReply& reply) {
            if (!self || !self->m_library || !reply.ok || !reply.screenshots)
                return failed();
            QList<qint64> older;
            for (const ServerScreenshot& record : decodeServerScreenshots(*reply.screenshots)) {
                if (record.originalFilename == name)
                    older.append(record.id);
            }
            // Never synced: the file stays local, as it was.
            if (older.isEmpty()) {
                if (ended)
                    ended(true);
                return;
            }
            // Until the new picture is up the older one stays: the account never loses the
            // screenshot altogether.
            const bool started =
                self->upload(item, token, [self, older, token, ended, failed](bool ok) {
                    if (!ok || !self)
                        return failed();
                    self->dropServerRecords(older, token, [ended, failed](bool dropped) {
                        if (!dropped)
                            return failed();
                        if (ended)
                            ended(true);
                    });
                });
            if (!started)
                failed();
        });
}

void SyncEngine::dropServerRecords(const QList<qint64>& ids, const QString& token,
                                   std::function<void(bool)> ended)
{
    struct Pending {
        qsizetype left;
        bool ok = true;
    };
    auto pending = std::make_shared<Pending>(Pending{ids.size()});
    QPointer<SyncEngine> self(this);
    for (const qint64 id : ids) {
        m_network->deleteServerScreenshot(
            token, id, [self, id, pending, ended](const DeleteReply& reply) {
                pending->ok = pending->ok && reply.ok;
                if (reply.ok && self && self->m_library) {
                    QList<ServerScreenshot> kept = self->m_library->serverScreenshots();
                    kept.removeIf([id](const ServerScreenshot& other) { return other.id == id; });
                    self->m_library->setServerScreenshots(kept);
                }
                if (--pending->left == 0 && ended)
                    ended(pending->ok);
            });
    }
}

} // namespace glimra
