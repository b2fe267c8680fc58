// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/AppDelegate.h"
#include "app/RemoteCommands.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QPointer>
#include <QTimer>

namespace glimra {

namespace {

using L = QLatin1StringView;

struct HandlerRow {
    QLatin1StringView name;
    CommandHandler handler;
};

constexpr HandlerRow kHandlers[] = {
    {L("list"), commands::list},
    {L("capture"), commands::capture},
    {L("edit"), commands::edit},
    {L("login"), commands::login},
    {L("register"), commands::registerAccount},
    {L("logout"), commands::logout},
    {L("status"), commands::status},
    {L("sync"), commands::sync},
    {L("server-list"), commands::serverList},
    {L("server-delete"), commands::serverDelete},
    {L("share"), commands::share},
    {L("unshare"), commands::unshare},
    {L("tile"), commands::tile},
    {L("search"), commands::search},
    {L("text"), commands::text},
    {L("shortcuts"), commands::shortcuts},
    {L("quit"), commands::quit},
    {L("toggle"), commands::toggle},
    {L("ping"), commands::ping},
};

CommandHandler handlerOf(QLatin1StringView name)
{
    for (const HandlerRow& row : kHandlers) {
        if (row.name == name)
            return row.handler;
    }
    return nullptr;
}

} // namespace

void AppDelegate::registerRemoteCommands(RemoteControl* remote)
{
    QPointer<AppDelegate> self(this);
    for (const RemoteCommand& command : remoteCommands()) {
        const CommandHandler handler = handlerOf(command.name);
        if (!handler)
            qFatal("No handler for the command %s", command.name.data());
        remote->addCommand(
            command.name, [self, &command, handler](const QStringList& args, const QString& input,
                                                    const RemoteControl::Reply& reply) {
                if (command.argumentCount >= 0 && args.size() != command.argumentCount)
                    return reply(2, {}, usageLine(command));
                if (!self)
                    return reply(1, {}, kNotRunning);
                handler(*self, args, input, reply);
            });
    }
}

namespace commands {

void toggle(AppDelegate& app, const QStringList&, const QString&, const RemoteControl::Reply& reply)
{
    app.openFromLauncher();
    reply(0, {}, {});
}

void ping(AppDelegate&, const QStringList&, const QString&, const RemoteControl::Reply& reply)
{
    reply(0, {}, {});
}

void quit(AppDelegate&, const QStringList&, const QString&, const RemoteControl::Reply& reply)
{
    reply(0, {}, {});
    // After the reply has left: quitting tears the socket down.
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
}

QString isoDate(const QDateTime& date)
{
    const QDateTime local = date.toOffsetFromUtc(date.offsetFromUtc());
    QString text = local.toString(Qt::ISODate);
    if (text.endsWith(QLatin1Char('Z'))) {
        text.chop(1);
        text += QStringLiteral("+00:00");
    }
    return text;
}

} // namespace commands

} // namespace glimra
