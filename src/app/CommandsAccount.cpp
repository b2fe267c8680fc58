// SPDX-License-Identifier: GPL-3.0-or-later
// glimra login, register, logout, status
#include "account/AuthManager.h"
#include "app/AppDelegate.h"
#include "app/RemoteCommands.h"
#include "library/ScreenshotManager.h"
#include "text/TextManager.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QTimer>

namespace glimra::commands {

namespace {

QString signedInText(const AuthManager& auth)
{
    return QStringLiteral("Signed in as %1\n")
        .arg(auth.currentUser() ? auth.currentUser()->username : QString());
}

// Answers once the session has handled its reply: the error, or who is signed in now.
void answerWhenSettled(AuthManager* session, const RemoteControl::Reply& reply)
{
    QPointer<AuthManager> auth(session);
    auto answer = [auth, reply] {
        if (!auth)
            return reply(1, {}, kNotRunning);
        if (auth->errorMessage())
            return reply(1, {}, *auth->errorMessage() + QLatin1Char('\n'));
        if (!auth->isLoggedIn())
            return reply(1, {}, QStringLiteral("Login failed\n"));
        reply(0, signedInText(*auth), {});
    };
    if (!auth->isLoading())
        return answer();
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = QObject::connect(auth, &AuthManager::isLoadingChanged, auth,
                                   [connection, answer, auth](bool loading) {
                                       if (loading)
                                           return;
                                       QObject::disconnect(*connection);
                                       // The reply's handler may still be setting the rest of
                                       // the session; answer once it has finished.
                                       QTimer::singleShot(0, auth, answer);
                                   });
}

QJsonValue optionalNumber(const std::optional<qint64>& number)
{
    return number ? QJsonValue(*number) : QJsonValue(QJsonValue::Null);
}

} // namespace

void login(AppDelegate& app, const QStringList& args, const QString& password,
           const RemoteControl::Reply& reply)
{
    app.authManager()->login(args[0], password);
    answerWhenSettled(app.authManager(), reply);
}

void registerAccount(AppDelegate& app, const QStringList& args, const QString& password,
                     const RemoteControl::Reply& reply)
{
    app.authManager()->registerAccount(args[0], args[1], password);
    answerWhenSettled(app.authManager(), reply);
}

void logout(AppDelegate& app, const QStringList&, const QString&, const RemoteControl::Reply& reply)
{
    app.authManager()->logout();
    reply(0, {}, {});
}

void status(AppDelegate& app, const QStringList& args, const QString&,
            const RemoteControl::Reply& reply)
{
    const AuthManager& auth = *app.authManager();
    const ScreenshotManager& screenshots = *app.screenshotManager();
    const std::optional<QDateTime> synced = screenshots.lastSyncDate();
    if (args.contains(QStringLiteral("--json"))) {
        QJsonValue user(QJsonValue::Null);
        if (const std::optional<UserInfo> info = auth.currentUser()) {
            user = QJsonObject{
                {QStringLiteral("id"), info->id},
                {QStringLiteral("username"), info->username},
                {QStringLiteral("email"), info->email},
                {QStringLiteral("screenshotCount"), optionalNumber(info->screenshotCount)},
                {QStringLiteral("storageUsedBytes"), optionalNumber(info->storageUsedBytes)}};
        }
        const QJsonObject status{
            {QStringLiteral("isLoggedIn"), auth.isLoggedIn()},
            {QStringLiteral("currentUser"), user},
            {QStringLiteral("statusMessage"), screenshots.statusMessage()},
            {QStringLiteral("lastSyncDate"),
             synced ? QJsonValue(isoDate(*synced)) : QJsonValue(QJsonValue::Null)},
            {QStringLiteral("previewsPending"), screenshots.previewsPending()},
            {QStringLiteral("textPending"), app.textManager()->pending()}};
        return reply(0, QString::fromUtf8(QJsonDocument(status).toJson(QJsonDocument::Indented)),
                     {});
    }
    QString text = auth.isLoggedIn() ? signedInText(auth) : QStringLiteral("Signed out\n");
    if (synced)
        text += QStringLiteral("Last sync: %1\n").arg(isoDate(*synced));
    if (!screenshots.statusMessage().isEmpty())
        text += screenshots.statusMessage() + QLatin1Char('\n');
    reply(0, text, {});
}

} // namespace glimra::commands
