// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace glimra {

class ScreenshotItem;
using ScreenshotItemPtr = std::shared_ptr<ScreenshotItem>;
struct ServerScreenshot;

// How a share link call ended: ok with the link's address (or, for a revocation, what to
// show), or not and the text that says why.
struct ShareOutcome {
    bool ok = false;
    QString text;
};
using ShareDone = std::function<void(const ShareOutcome&)>;

// What the library asks of the account sync. The library only calls it; the sync room
// implements it and the application hands it over, so the library never links the web client.
class SyncService {
public:
    virtual ~SyncService() = default;
    virtual void uploadScreenshot(const ScreenshotItemPtr& item) = 0;
    virtual void loadServerScreenshots() = 0;
    virtual void performFullSync() = 0;
    virtual void downloadMissingScreenshots() = 0;
    virtual void deleteServerScreenshot(const ServerScreenshot& record) = 0;
    // The item's file was written over. If the account holds copies of its name, the new
    // picture goes up and those older copies are then deleted on the server only: the local
    // file is the new picture and stays.
    virtual void replaceServerCopy(const ScreenshotItemPtr& item) = 0;
    // Share links, which not every server offers: a new link to the account's screenshot,
    // expiring after lifetimeSeconds or never, and the revocation of all its links. done runs
    // once, on this thread, perhaps before the call returns.
    virtual void shareScreenshot(qint64 serverId, std::optional<qint64> lifetimeSeconds,
                                 ShareDone done) = 0;
    virtual void revokeShareLinks(qint64 serverId, ShareDone done) = 0;
};

} // namespace glimra
