// SPDX-License-Identifier: GPL-3.0-or-later
#include "PortalScreenshot.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QEventLoop>
#include <QRandomGenerator>
#include <QTimer>

namespace glimra::capture {

namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kRequest = QStringLiteral("org.freedesktop.portal.Request");

// A picture of the whole desktop takes the portal well under a second; the user choosing a
// window in the desktop's own dialog may take minutes.
constexpr int kQuietTimeoutMs = 30'000;
constexpr int kInteractiveTimeoutMs = 600'000;

QString silence(int timeoutMs)
{
    return QStringLiteral("the screenshot portal did not answer within %1 s").arg(timeoutMs / 1000);
}

QString callFailure(const QDBusMessage& reply, int timeoutMs)
{
    const QString name = reply.errorName();
    if (name == QLatin1String("org.freedesktop.DBus.Error.NoReply") ||
        name == QLatin1String("org.freedesktop.DBus.Error.Timeout"))
        return silence(timeoutMs);
    if (name == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown"))
        return QStringLiteral("no desktop portal is running (xdg-desktop-portal)");
    if (name == QLatin1String("org.freedesktop.DBus.Error.UnknownMethod") ||
        name == QLatin1String("org.freedesktop.DBus.Error.UnknownInterface"))
        return QStringLiteral("the desktop portal offers no screenshots on this desktop");
    return QStringLiteral("the screenshot portal refused: ") + reply.errorMessage();
}

// xdg-desktop-portal answers 2, as for a failure, also when the user has refused screenshots
// to programs outside a sandbox: in its dialog, asked once, or since then in the desktop's
// privacy settings. Its permission store tells the two apart.
bool screenshotsRefused(const QDBusConnection& bus)
{
    QDBusMessage lookup = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.impl.portal.PermissionStore"),
        QStringLiteral("/org/freedesktop/impl/portal/PermissionStore"),
        QStringLiteral("org.freedesktop.impl.portal.PermissionStore"), QStringLiteral("Lookup"));
    lookup << QStringLiteral("screenshot") << QStringLiteral("screenshot");
    const QDBusMessage reply = bus.call(lookup, QDBus::Block, 2000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return false;
    QMap<QString, QStringList> permissions; // by application; unsandboxed ones have ""
    reply.arguments().constFirst().value<QDBusArgument>() >> permissions;
    return permissions.value(QString()).value(0) == QLatin1String("no");
}

} // namespace

void PortalResponse::take(uint response, const QVariantMap& values)
{
    if (answered)
        return;
    answered = true;
    code = response;
    results = values;
    Q_EMIT arrived();
}

int portalTimeoutMs(bool interactive)
{
    bool ok = false;
    const int seconds = qEnvironmentVariableIntValue("GLIMRA_PORTAL_TIMEOUT", &ok);
    if (ok && seconds > 0)
        return seconds * 1000;
    return interactive ? kInteractiveTimeoutMs : kQuietTimeoutMs;
}

PortalAnswer requestPortalScreenshot(bool interactive, int timeoutMs)
{
    PortalAnswer answer;
    // File times come from the coarse clock: a file written right after this moment must
    // never look older than it.
    clock_gettime(CLOCK_REALTIME_COARSE, &answer.began);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        answer.reason =
            QStringLiteral("cannot reach the session bus: ") + bus.lastError().message();
        return answer;
    }
    // The answer comes as a signal on a path made of our bus name and a token of our choice;
    // listening before asking means a quick answer cannot be missed.
    const QString token =
        QStringLiteral("glimra%1").arg(QRandomGenerator::global()->generate() & 0x7fffffff);
    QString sender = bus.baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    QString handle = kPath + QStringLiteral("/request/") + sender + QLatin1Char('/') + token;
    PortalResponse response;
    const auto listen = [&](const QString& path, bool on) {
        const char* slot = SLOT(take(uint, QVariantMap));
        return on ? bus.connect(kService, path, kRequest, QStringLiteral("Response"), &response,
                                slot)
                  : bus.disconnect(kService, path, kRequest, QStringLiteral("Response"), &response,
                                   slot);
    };
    listen(handle, true);

    QDBusMessage call = QDBusMessage::createMethodCall(
        kService, kPath, QStringLiteral("org.freedesktop.portal.Screenshot"),
        QStringLiteral("Screenshot"));
    call << QString()
         << QVariantMap{{QStringLiteral("handle_token"), token},
                        {QStringLiteral("interactive"), interactive},
                        {QStringLiteral("modal"), false}};
    const QDBusMessage reply = bus.call(call, QDBus::Block, timeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        listen(handle, false);
        answer.reason = callFailure(reply, timeoutMs);
        return answer;
    }
    // Portals older than the handle_token rule pick their own path.
    const QString given = reply.arguments().constFirst().value<QDBusObjectPath>().path();
    if (!given.isEmpty() && given != handle) {
        listen(handle, false);
        handle = given;
        listen(handle, true);
    }

    if (!response.answered) {
        QEventLoop wait;
        QTimer::singleShot(timeoutMs, &wait, &QEventLoop::quit);
        QObject::connect(&response, &PortalResponse::arrived, &wait, &QEventLoop::quit);
        wait.exec();
    }
    listen(handle, false);
    if (!response.answered) {
        bus.call(
            QDBusMessage::createMethodCall(kService, handle, kRequest, QStringLiteral("Close")),
            QDBus::Block, 1000);
        answer.reason = silence(timeoutMs);
        return answer;
    }
    if (response.code == 1) {
        answer.outcome = PortalAnswer::Outcome::Cancelled;
        return answer;
    }
    answer.uri = response.results.value(QStringLiteral("uri")).toString();
    if (response.code != 0 && !interactive && screenshotsRefused(bus))
        answer.reason = QStringLiteral(
            "the desktop's privacy settings do not allow programs to take screenshots");
    else if (response.code != 0)
        answer.reason = QStringLiteral("the desktop could not take the screenshot");
    else if (answer.uri.isEmpty())
        answer.reason = QStringLiteral("the screenshot portal answered without a picture");
    else
        answer.outcome = PortalAnswer::Outcome::Saved;
    return answer;
}

} // namespace glimra::capture
