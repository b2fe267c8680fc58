// SPDX-License-Identifier: GPL-3.0-or-later
// glimra sync, server-list, server-delete, share, unshare
#include "account/AuthManager.h"
#include "account/KeychainHelper.h"
#include "app/AppDelegate.h"
#include "app/RemoteCommands.h"
#include "library/ScreenshotManager.h"
#include "sync/SyncEngine.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>

namespace glimra::commands {

namespace {

const QString kSignedOut = QStringLiteral("Signed out\n");
const QString kListingFailed = QStringLiteral("The server's list could not be read\n");

// The account screenshot a command names, or nothing once the refusal has been answered.
std::optional<qint64> signedInScreenshotId(AppDelegate& app, const QString& arg,
                                           const RemoteControl::Reply& reply)
{
    bool isNumber = false;
    const qint64 id = arg.toLongLong(&isNumber);
    if (!isNumber) {
        reply(2, {}, QStringLiteral("Not a screenshot id: %1\n").arg(arg));
        return std::nullopt;
    }
    if (!app.authManager()->keychain()->retrieve()) {
        reply(1, {}, kSignedOut);
        return std::nullopt;
    }
    return id;
}

void replyWithOutcome(const RemoteControl::Reply& reply, const ShareOutcome& outcome)
{
    reply(outcome.ok ? 0 : 1, outcome.ok ? outcome.text + u'\n' : QString(),
          outcome.ok ? QString() : outcome.text + u'\n');
}

QString serverListing(const QList<ServerScreenshot>& records, bool json)
{
    QString out;
    QJsonArray array;
    for (const ServerScreenshot& record : records) {
        if (json) {
            QJsonArray shares;
            for (const ServerShareLink& link : record.shares)
                shares.append(link.url);
            array.append(QJsonObject{{QStringLiteral("id"), record.id},
                                     {QStringLiteral("filename"), record.filename},
                                     {QStringLiteral("originalFilename"), record.originalFilename},
                                     {QStringLiteral("fileSize"), record.fileSize},
                                     {QStringLiteral("captureType"), record.captureType},
                                     {QStringLiteral("uploadedAt"), record.uploadedAt},
                                     {QStringLiteral("shares"), shares}});
        } else {
            out += QStringLiteral("%1\t%2\t%3\t%4\n")
                       .arg(record.id)
                       .arg(record.uploadedAt, QString::number(record.fileSize),
                            record.originalFilename);
        }
    }
    return json ? QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Indented)) : out;
}

} // namespace

void sync(AppDelegate& app, const QStringList&, const QString&, const RemoteControl::Reply& reply)
{
    app.syncEngine()->performFullSync([reply](const SyncEngine::Report& report) {
        if (!report.signedIn)
            return reply(1, {}, kSignedOut);
        if (!report.listed)
            return reply(1, {}, kListingFailed);
        QString text = QStringLiteral("%1 on the server, %2 uploaded, %3 downloaded\n")
                           .arg(report.onServer)
                           .arg(report.uploaded)
                           .arg(report.downloaded);
        const int failed = report.uploadsFailed + report.downloadsFailed;
        if (failed > 0)
            text += QStringLiteral("%1 failed (%2 uploads, %3 downloads)\n")
                        .arg(failed)
                        .arg(report.uploadsFailed)
                        .arg(report.downloadsFailed);
        reply(0, text, {});
    });
}

void serverList(AppDelegate& app, const QStringList& args, const QString&,
                const RemoteControl::Reply& reply)
{
    const bool json = args.contains(QStringLiteral("--json"));
    // The listing itself never says why it failed; without a token it is not even sent.
    if (!app.authManager()->keychain()->retrieve())
        return reply(1, {}, kSignedOut);
    QPointer<ScreenshotManager> library(app.screenshotManager());
    app.syncEngine()->loadServerScreenshots([library, json, reply](bool listed) {
        if (!library)
            return reply(1, {}, kNotRunning);
        if (!listed)
            return reply(1, {}, kListingFailed);
        reply(0, serverListing(library->serverScreenshots(), json), {});
    });
}

void serverDelete(AppDelegate& app, const QStringList& args, const QString&,
                  const RemoteControl::Reply& reply)
{
    const std::optional<qint64> id = signedInScreenshotId(app, args[0], reply);
    if (!id)
        return;
    // The record as last listed, so that its local copy is found by its name; an id that was
    // never listed deletes only the server's copy.
    ServerScreenshot record{*id, {}, {}, 0, {}, {}, {}};
    for (const ServerScreenshot& listed : app.screenshotManager()->serverScreenshots()) {
        if (listed.id == *id)
            record = listed;
    }
    app.syncEngine()->deleteServerScreenshot(record, [reply](std::optional<QString> shown) {
        if (!shown)
            return reply(1, {}, kNotRunning);
        if (*shown != QStringLiteral("Deleted from server"))
            return reply(1, {}, *shown + QLatin1Char('\n'));
        reply(0, *shown + QLatin1Char('\n'), {});
    });
}

void share(AppDelegate& app, const QStringList& args, const QString&,
           const RemoteControl::Reply& reply)
{
    static const QHash<QString, std::optional<qint64>> lifetimes{
        {QStringLiteral("1d"), 86'400},
        {QStringLiteral("7d"), 7 * 86'400},
        {QStringLiteral("30d"), 30 * 86'400},
        {QStringLiteral("never"), std::nullopt}};
    const bool expiresGiven = args.size() == 3 && args[1] == QLatin1String("--expires");
    if (!(args.size() == 1 || (expiresGiven && lifetimes.contains(args[2]))))
        return reply(2, {}, usageLine(*clientCommand(QStringLiteral("share"))));
    if (const std::optional<qint64> id = signedInScreenshotId(app, args[0], reply))
        app.screenshotManager()->shareServerScreenshot(
            *id, expiresGiven ? lifetimes.value(args[2]) : std::nullopt,
            [reply](const ShareOutcome& outcome) { replyWithOutcome(reply, outcome); });
}

void unshare(AppDelegate& app, const QStringList& args, const QString&,
             const RemoteControl::Reply& reply)
{
    if (const std::optional<qint64> id = signedInScreenshotId(app, args[0], reply))
        app.screenshotManager()->revokeShareLinks(
            *id, [reply](const ShareOutcome& outcome) { replyWithOutcome(reply, outcome); });
}

} // namespace glimra::commands
