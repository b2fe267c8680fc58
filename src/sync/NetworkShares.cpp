// SPDX-License-Identifier: GPL-3.0-or-later
// The share link calls of NetworkManager.
#include "sync/NetworkManager.h"

#include <QJsonObject>

namespace glimra {

using namespace sync;

void NetworkManager::shareScreenshot(const QString& token, qint64 screenshotId,
                                     std::optional<qint64> lifetimeSeconds,
                                     ShareCompletion completion)
{
    QJsonObject body{{QStringLiteral("action"), QStringLiteral("share")},
                     {QStringLiteral("token"), token},
                     {QStringLiteral("screenshot_id"), screenshotId}};
    if (lifetimeSeconds)
        body.insert(QStringLiteral("expires_in"), *lifetimeSeconds);
    postJson(
        m_sync, body, [completion](const Transfer& t) { completion(decodeShareReply(t)); },
        [completion] {
            completion({false, std::nullopt, QStringLiteral("Invalid URL")});
        });
}

void NetworkManager::unshareScreenshot(const QString& token, qint64 screenshotId,
                                       UnshareCompletion completion)
{
    const QJsonObject body{{QStringLiteral("action"), QStringLiteral("unshare")},
                           {QStringLiteral("token"), token},
                           {QStringLiteral("screenshot_id"), screenshotId}};
    postJson(
        m_sync, body, [completion](const Transfer& t) { completion(decodeUnshareReply(t)); },
        [completion] {
            completion({false, 0, QStringLiteral("Invalid URL")});
        });
}

} // namespace glimra
