// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/RemoteCommands.h"

namespace glimra {

namespace {

using namespace std::chrono_literals;
using L = QLatin1StringView;

constexpr RemoteCommand kCommands[] = {
    {.name = L("list"),
     .arguments = L("[--json]"),
     .summary = L("print the library, newest first")},
    {.name = L("search"),
     .arguments = L("TEXT [--json]"),
     .summary = L("the screenshots with TEXT in their name or text, newest first")},
    {.name = L("text"),
     .arguments = L("PATH"),
     .summary = L("print the text read in a screenshot of the library"),
     .argumentCount = 1,
     .takesPaths = true,
     .clientTimeout = 10min}, // a picture not read yet is read first, at idle priority
    {.name = L("capture"),
     .arguments = L("full|area|window [--delay SECONDS]"),
     .summary = L("take a screenshot"),
     .startsInstance = true,
     .clientTimeout = 30min}, // an area selection waits for the user
    {.name = L("edit"),
     .arguments = L("PATH"),
     .summary = L("mark up a picture; saving adds it to the library"),
     .argumentCount = 1,
     .startsInstance = true,
     .takesPaths = true},
    {.name = L("login"),
     .arguments = L("USERNAME"),
     .summary = L("sign in (password on standard input)"),
     .argumentCount = 1,
     .startsInstance = true,
     .readsPassword = true,
     .clientTimeout = 3min}, // the web service may take its full timeout
    {.name = L("register"),
     .arguments = L("USERNAME EMAIL"),
     .summary = L("create an account and sign in"),
     .argumentCount = 2,
     .startsInstance = true,
     .readsPassword = true,
     .clientTimeout = 3min},
    {.name = L("logout"), .summary = L("sign out")},
    {.name = L("status"),
     .arguments = L("[--json]"),
     .summary = L("the account and the last sync")},
    {.name = L("sync"),
     .summary = L("sync with the account now and wait for the end"),
     .argumentCount = 0,
     .clientTimeout = 2h}, // thousands of files to move
    {.name = L("server-list"),
     .arguments = L("[--json]"),
     .summary = L("list the account's screenshots afresh"),
     .clientTimeout = 3min},
    {.name = L("server-delete"),
     .arguments = L("ID"),
     .summary = L("delete a screenshot from the account"),
     .argumentCount = 1,
     .clientTimeout = 3min},
    {.name = L("share"),
     .arguments = L("ID [--expires 1d|7d|30d|never]"),
     .summary = L("print a link that shows the account's screenshot to anyone who has it"),
     .clientTimeout = 3min},
    {.name = L("unshare"),
     .arguments = L("ID"),
     .summary = L("revoke every link to the account's screenshot"),
     .argumentCount = 1,
     .clientTimeout = 3min},
    {.name = L("tile"),
     .arguments = L("POSITION"),
     .summary = L("move the active window to left-half, right-half, top-left, top-right, "
                  "bottom-left, bottom-right, center or maximize"),
     .argumentCount = 1,
     .clientTimeout = 10s},
    {.name = L("shortcuts"),
     .arguments = L("[--json]"),
     .summary = L("the shortcuts and whether each is registered")},
    {.name = L("quit"), .summary = L("end the running Glimra")},
    {.name = L("toggle")},
    {.name = L("ping")},
};

QString usageEntry(const QString& left, const QString& summary)
{
    // A long left side gets a line of its own, so that it never runs into its summary.
    const QString padded =
        left.size() < 27 ? left.leftJustified(27) : left + QLatin1Char('\n') + QString(29, u' ');
    return QStringLiteral("  ") + padded + summary + QLatin1Char('\n');
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
        usageEntry(QStringLiteral("(none)"), QStringLiteral("start Glimra, or show its popover")) +
        usageEntry(QStringLiteral("--version"), QStringLiteral("print the version"));
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

} // namespace glimra
