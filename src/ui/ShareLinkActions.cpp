// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ShareLinkActions.h"

#include "library/ScreenshotManager.h"
#include "platform/Clipboard.h"

#include <QMimeData>
#include <QPointer>

namespace glimra {

namespace {

constexpr qint64 kDay = 24 * 60 * 60;

struct Lifetime {
    RowAction action;
    const char* text;
    std::optional<qint64> seconds;
};

constexpr Lifetime kLifetimes[] = {
    {RowAction::ShareForDay, "Valid for 1 Day", kDay},
    {RowAction::ShareForWeek, "Valid for 7 Days", 7 * kDay},
    {RowAction::ShareForMonth, "Valid for 30 Days", 30 * kDay},
    {RowAction::ShareForever, "Never Expires", std::nullopt},
};

const QString kShareMenu = QStringLiteral("Copy Share Link");

} // namespace

QList<RowButton> shareLinkActions()
{
    QList<RowButton> actions;
    for (const Lifetime& lifetime : kLifetimes)
        actions.append({lifetime.action, QStringLiteral("cloud"),
                        QString::fromLatin1(lifetime.text), false, kShareMenu});
    actions.append(
        {RowAction::Unshare, QStringLiteral("cloud"), QStringLiteral("Revoke Share Links")});
    return actions;
}

bool performShareAction(RowAction action, qint64 serverId, ScreenshotManager* manager,
                        Clipboard* clipboard)
{
    QPointer<ScreenshotManager> shown(manager);
    if (action == RowAction::Unshare) {
        manager->revokeShareLinks(serverId, [shown](const ShareOutcome& outcome) {
            if (shown)
                shown->showConfirmation(outcome.text);
        });
        return true;
    }
    for (const Lifetime& lifetime : kLifetimes) {
        if (lifetime.action != action)
            continue;
        QPointer<Clipboard> board(clipboard);
        manager->shareServerScreenshot(
            serverId, lifetime.seconds, [shown, board](const ShareOutcome& outcome) {
                if (outcome.ok && board) {
                    auto* data = new QMimeData;
                    data->setText(outcome.text);
                    board->setMimeData(data);
                }
                if (shown)
                    shown->showConfirmation(outcome.ok ? QStringLiteral("Share link copied")
                                                       : outcome.text);
            });
        return true;
    }
    return false;
}

std::optional<qint64> serverIdNamed(const QList<ServerScreenshot>& records, const QString& name)
{
    std::optional<qint64> newest;
    for (const ServerScreenshot& record : records) {
        // Ids grow with every upload, so the largest is the latest copy of that name.
        if (record.originalFilename == name && (!newest || record.id > *newest))
            newest = record.id;
    }
    return newest;
}

} // namespace glimra
