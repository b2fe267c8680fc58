// SPDX-License-Identifier: GPL-3.0-or-later
// glimra capture full|area|window [--delay SECONDS]
#include "app/AppDelegate.h"
#include "app/RemoteCommands.h"
#include "library/CaptureRunner.h"
#include "library/ScreenshotManager.h"

#include <QHash>

namespace glimra::commands {

void capture(AppDelegate& app, const QStringList& args, const QString&,
             const RemoteControl::Reply& reply)
{
    static const QHash<QString, CaptureMode> modes{
        {QStringLiteral("full"), CaptureMode::FullScreen},
        {QStringLiteral("area"), CaptureMode::Area},
        {QStringLiteral("window"), CaptureMode::Window}};
    const auto mode = modes.constFind(args.value(0));
    // A delay of up to an hour, in whole seconds.
    bool delayOk = args.size() == 1;
    const int delay =
        args.size() == 3 && args.at(1) == QLatin1String("--delay") ? args.at(2).toInt(&delayOk) : 0;
    if (mode == modes.constEnd() || !delayOk || delay < 0 || delay > 3600)
        return reply(2, {}, usageLine(*clientCommand(QStringLiteral("capture"))));
    ScreenshotManager* manager = app.screenshotManager();
    auto connection = std::make_shared<QMetaObject::Connection>();
    const quint64 ticket = manager->startCapture(*mode, delay);
    *connection = QObject::connect(
        manager, &ScreenshotManager::captureFinished, manager,
        [connection, ticket, reply](quint64 finished, const ScreenshotItemPtr& item,
                                    const QString& status) {
            if (finished != ticket)
                return;
            QObject::disconnect(*connection);
            // Like the tool: 1 when the user changed their mind, 2 when something went wrong.
            if (item && item->filePath)
                reply(0, *item->filePath + QLatin1Char('\n'), {});
            else if (status == kCaptureCancelled)
                reply(1, {}, status + QLatin1Char('\n'));
            else
                reply(2, {},
                      (status.isEmpty() ? QStringLiteral("Capture failed") : status) +
                          QLatin1Char('\n'));
        });
}

} // namespace glimra::commands
