#include "app/RemoteCommands.h"

#include "app/AppDelegate.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QPointer>
#include <QTimer>

namespace glimra {

namespace {

using namespace std::chrono_literals;
using L = QLatin1StringView;

constexpr RemoteCommand kCommands[] = {
    {.name = L("list"),
     .arguments = L("[--json]"),
     .summary = L("print the library, newest first"),
     .handler = commands::list},
    {.name = L("capture"),
     .arguments = L("full|area|window"),
     .summary = L("take a screenshot"),
     .handler = commands::capture,
     .startsInstance = true,
     .clientTimeout = 30min}, // an area selection waits for the user
    {.name = L("login"),
     .arguments = L("USERNAME"),
     .summary = L("sign in (password on standard input)"),
     .handler = commands::login,
     .argumentCount = 1,
     .startsInstance = true,
     .readsPassword = true,
     .clientTimeout = 3min}, // the web service may take its full timeout
    {.name = L("register"),
     .arguments = L("USERNAME EMAIL"),
     .summary = L("create an account and sign in"),
     .handler = commands::registerAccount,
     .argumentCount = 2,
     .startsInstance = true,
     .readsPassword = true,
     .clientTimeout = 3min},
    {.name = L("logout"), .summary = L("sign out"), .handler = commands::logout},
    {.name = L("status"),
     .arguments = L("[--json]"),
     .summary = L("the account and the last sync"),
     .handler = commands::status},
    {.name = L("sync"),
     .summary = L("sync with the account now and wait for the end"),
     .handler = commands::sync,
     .argumentCount = 0,
     .clientTimeout = 2h}, // thousands of files to move
    {.name = L("server-list"),
     .arguments = L("[--json]"),
     .summary = L("list the account's screenshots afresh"),
     .handler = commands::serverList,
     .clientTimeout = 3min},
    {.name = L("server-delete"),
     .arguments = L("ID"),
     .summary = L("delete a screenshot from the account"),
     .handler = commands::serverDelete,
     .argumentCount = 1,
     .clientTimeout = 3min},
    {.name = L("tile"),
     .arguments = L("POSITION"),
     .summary = L("move the active window to left-half, right-half, top-left, top-right, "
                  "bottom-left, bottom-right, center or maximize"),
     .handler = commands::tile,
     .argumentCount = 1,
     .clientTimeout = 10s},
    {.name = L("shortcuts"),
     .arguments = L("[--json]"),
     .summary = L("the shortcuts and whether each is registered"),
     .handler = commands::shortcuts},
    {.name = L("quit"), .summary = L("end the running Glimra"), .handler = commands::quit},
    {.name = L("toggle"), .handler = commands::toggle},
    {.name = L("ping"), .handler = commands::ping},
};

QString usageEntry(const QString& left, const QString& summary)
{
    return QStringLiteral("  ") + left.leftJustified(27) + summary + QLatin1Char('\n');
}

QString nameAndArguments(const RemoteCommand& command)
{
    QString text = command.name;
    if (!command.arguments.isEmpty())
        text += QLatin1Char(' ') + command.arguments;
    return text;
}

} // namespace

std::span<const RemoteCommand> remoteCommands()
{
    return kCommands;
}

const RemoteCommand* clientCommand(const QString& name)
{
    for (const RemoteCommand& command : kCommands) {
        if (command.name == name && !command.summary.isEmpty())
            return &command;
    }
    return nullptr;
}

QString usageText()
{
    QString text =
        QStringLiteral("Usage: glimra [COMMAND]\n") +
        usageEntry(QStringLiteral("(none)"), QStringLiteral("start Glimra, or show its popover"));
    for (const RemoteCommand& command : kCommands) {
        if (!command.summary.isEmpty())
            text += usageEntry(nameAndArguments(command), QString(command.summary));
    }
    return text;
}

QString usageLine(const RemoteCommand& command)
{
    return QStringLiteral("Usage: glimra ") + nameAndArguments(command) + QLatin1Char('\n');
}

void AppDelegate::registerRemoteCommands(RemoteControl* remote)
{
    QPointer<AppDelegate> self(this);
    for (const RemoteCommand& command : kCommands) {
        remote->addCommand(command.name, [self, &command](const QStringList& args,
                                                          const QString& input,
                                                          const RemoteControl::Reply& reply) {
            if (command.argumentCount >= 0 && args.size() != command.argumentCount)
                return reply(2, {}, usageLine(command));
            if (!self)
                return reply(1, {}, kNotRunning);
            command.handler(*self, args, input, reply);
        });
    }
}

namespace commands {

void toggle(AppDelegate& app, const QStringList&, const QString&, const RemoteControl::Reply& reply)
{
    app.togglePopover();
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
