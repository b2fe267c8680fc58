// SPDX-License-Identifier: GPL-3.0-or-later
// Share links to the account's screenshots, for servers that offer them.
#include "sync/NetworkManager.h"
#include "sync/SyncEngine.h"

namespace glimra {

namespace {

const QString kSignedOut = QStringLiteral("Sign in to share screenshots");

} // namespace

void SyncEngine::shareScreenshot(qint64 serverId, std::optional<qint64> lifetimeSeconds,
                                 ShareDone done)
{
    const std::optional<QString> token = this->token();
    if (!token || !m_network)
        return done({false, kSignedOut});
    m_network->shareScreenshot(*token, serverId, lifetimeSeconds,
                               [done](const sync::ShareReply& reply) {
                                   if (!reply.ok)
                                       return done({false, reply.message});
                                   done({true, reply.link->url});
                               });
}

void SyncEngine::revokeShareLinks(qint64 serverId, ShareDone done)
{
    const std::optional<QString> token = this->token();
    if (!token || !m_network)
        return done({false, kSignedOut});
    m_network->unshareScreenshot(*token, serverId, [done](const sync::UnshareReply& reply) {
        if (!reply.ok)
            return done({false, reply.message});
        done({true, reply.revoked == 0 ? QStringLiteral("No share links to revoke")
                    : reply.revoked == 1
                        ? QStringLiteral("1 share link revoked")
                        : QStringLiteral("%1 share links revoked").arg(reply.revoked)});
    });
}

} // namespace glimra
