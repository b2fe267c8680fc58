// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/wayland/KWinWindowMover.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QSaveFile>
#include <QTimer>

namespace glimra {

namespace {

const QString kKWin = QStringLiteral("org.kde.KWin");
const QString kObjectPath = QStringLiteral("/io/github/glimra/Tiling");
const QString kScripting = QStringLiteral("org.kde.kwin.Scripting");
const QString kPluginName = QStringLiteral("glimra-tile");
constexpr int kCallTimeoutMs = 2000;
// Long enough for KWin to run the script's answer before the script goes; a script that
// found nothing to move never asks, and goes after the longer wait.
constexpr int kAnsweredMs = 500;
constexpr int kUnansweredMs = 2000;

// KWin 5's scripting API. A window that cannot be moved or sized, or a panel or the desktop
// in front, is left alone; a maximised or full-screen one is restored first.
QByteArray scriptFor(const QString& service)
{
    return QByteArrayLiteral(R"((function () {
    var w = workspace.activeClient;
    if (!w || !w.normalWindow || !w.moveable || !w.resizeable)
        return;
    var a = workspace.clientArea(KWin.MaximizeArea, w);
    callDBus(")") +
           service.toLatin1() +
           QByteArrayLiteral(R"(", "/io/github/glimra/Tiling", "io.github.glimra.Tiling",
        "placement", Math.round(a.x), Math.round(a.y), Math.round(a.width),
        Math.round(a.height), function (answer) {
            var r = String(answer).split(" ").map(Number);
            if (r.length != 4 || w.deleted)
                return;
            w.fullScreen = false;
            w.setMaximize(false, false);
            w.frameGeometry = {x: r[0], y: r[1], width: r[2], height: r[3]};
        });
})();
)");
}

} // namespace

KWinWindowMover::KWinWindowMover(QDBusConnection bus, QString scriptPath)
    : m_bus(std::move(bus)), m_scriptPath(std::move(scriptPath))
{
    m_bus.registerObject(kObjectPath, this, QDBusConnection::ExportScriptableSlots);
}

KWinWindowMover::~KWinWindowMover()
{
    m_bus.unregisterObject(kObjectPath);
}

bool KWinWindowMover::isRunning(const QDBusConnection& bus)
{
    return bus.interface() && bus.interface()->isServiceRegistered(kKWin).value();
}

bool KWinWindowMover::placeFocused(const Placement& place)
{
    m_waiting = place;
    if (!m_busy)
        start();
    return true;
}

// One script at a time, loaded, run and unloaded in turn, under one name that the user's own
// scripts do not use. A tile asked meanwhile is run next, with the newest placement.
void KWinWindowMover::start()
{
    if (!m_scriptWritten) {
        // A few hundred bytes into the user's runtime folder, which lives in memory.
        QSaveFile file(m_scriptPath);
        m_scriptWritten = file.open(QIODevice::WriteOnly) &&
                          file.write(scriptFor(m_bus.baseService())) > 0 && file.commit();
        if (!m_scriptWritten)
            return void(m_waiting = nullptr);
    }
    m_busy = true;
    m_answered = false;
    call(QStringLiteral("/Scripting"), kScripting, QStringLiteral("loadScript"),
         {m_scriptPath, kPluginName}, [this](const QDBusMessage& reply) {
             if (reply.type() != QDBusMessage::ReplyMessage ||
                 reply.arguments().value(0, -1).toInt() < 0) {
                 // Refused, most likely while our last script was still going: unloaded, it
                 // is tried once more, and a second refusal drops the tile.
                 if (std::exchange(m_refused, true))
                     m_waiting = nullptr;
                 m_scriptWritten = false; // in case the runtime folder was emptied meanwhile
                 return finish();
             }
             m_refused = false;
             // Runs what is loaded and not yet running, ours among them. The object named by
             // the number KWin returned may be another script's: KWin numbers a script by the
             // count of scripts loaded, which shrinks when one of them goes.
             call(QStringLiteral("/Scripting"), kScripting, QStringLiteral("start"), {},
                  [](const QDBusMessage&) {});
             QTimer::singleShot(kUnansweredMs, this, [this] {
                 if (!m_answered)
                     finish();
             });
         });
}

void KWinWindowMover::finish()
{
    call(QStringLiteral("/Scripting"), kScripting, QStringLiteral("unloadScript"), {kPluginName},
         [this](const QDBusMessage&) {
             m_busy = false;
             if (m_waiting)
                 start();
         });
}

QString KWinWindowMover::placement(int x, int y, int width, int height)
{
    if (!m_waiting)
        return {};
    m_answered = true;
    QTimer::singleShot(kAnsweredMs, this, &KWinWindowMover::finish);
    const QRect usable(x, y, width, height);
    const QRect frame = std::exchange(m_waiting, nullptr)(usable);
    return QStringLiteral("%1 %2 %3 %4")
        .arg(frame.x())
        .arg(frame.y())
        .arg(frame.width())
        .arg(frame.height());
}

void KWinWindowMover::call(const QString& path, const QString& interface, const QString& method,
                           const QVariantList& args, std::function<void(const QDBusMessage&)> then)
{
    QDBusMessage message = QDBusMessage::createMethodCall(kKWin, path, interface, method);
    message.setArguments(args);
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(message, kCallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [watcher, then] {
        watcher->deleteLater();
        then(watcher->reply());
    });
}

} // namespace glimra
