// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/RemoteControl.h"

#include <QLatin1StringView>
#include <QStringList>

#include <chrono>
#include <span>

namespace glimra {

class AppDelegate;

// What `glimra COMMAND` says, and its exit status 1, when no instance answers.
inline constexpr QLatin1StringView kNotRunning{"Glimra is not running\n"};

// One command a second `glimra` sends to the running instance. The usage text, the client's
// list of commands and the instance's dispatch are all made from the one table of these, so
// a new command is one row and one handler (named in registerRemoteCommands). The table
// itself names no handler: the client links it without the instance.
struct RemoteCommand {
    QLatin1StringView name{};
    // As the usage text shows them ("full|area|window").
    QLatin1StringView arguments{};
    // The usage text's line; empty for what `glimra` sends on its own (toggle, ping), which
    // the client does not take from the command line.
    QLatin1StringView summary{};
    // Checked by the client, before anything else, and by the instance; -1: any number.
    int argumentCount = -1;
    // Whether the client starts an instance first when none runs.
    bool startsInstance = false;
    // The password is read from standard input (not echoed) and sent as the input.
    bool readsPassword = false;
    // The arguments are files, made absolute by the client: the instance has another folder.
    bool takesPaths = false;
    // How long the client waits for the answer.
    std::chrono::milliseconds clientTimeout{30'000};
};

std::span<const RemoteCommand> remoteCommands();
// The command named so that the client may send it; nothing for unknown and internal ones.
const RemoteCommand* clientCommand(const QString& name);
// "Usage: glimra [COMMAND]" and a line per command.
QString usageText();
// "Usage: glimra NAME ARGUMENTS", for a command given the wrong arguments.
QString usageLine(const RemoteCommand& command);

using CommandHandler = void (*)(AppDelegate& app, const QStringList& args, const QString& input,
                                const RemoteControl::Reply& reply);

// The handlers, by area; each answers through reply exactly once.
namespace commands {
void toggle(AppDelegate&, const QStringList&, const QString&, const RemoteControl::Reply&);
void ping(AppDelegate&, const QStringList&, const QString&, const RemoteControl::Reply&);
void quit(AppDelegate&, const QStringList&, const QString&, const RemoteControl::Reply&);
void list(AppDelegate&, const QStringList&, const QString&, const RemoteControl::Reply&);
void capture(AppDelegate&, const QStringList&, const QString&, const RemoteControl::Reply&);
void edit(AppDelegate&, const QStringList&, const QString&, const RemoteControl::Reply&);
void login(AppDelegate&, const QStringList&, const QString&, const RemoteControl::Reply&);
void registerAccount(AppDelegate&, const QStringList&, const QString&, const RemoteControl::Reply&);
void logout(AppDelegate&, const QStringList&, const QString&, const RemoteControl::Reply&);
void shortcuts(AppDelegate&, const QStringList&, const QString&, const RemoteControl::Reply&);
void status(AppDelegate&, const QStringList&, const QString&, const RemoteControl::Reply&);
void sync(AppDelegate&, const QStringList&, const QString&, const RemoteControl::Reply&);
void serverList(AppDelegate&, const QStringList&, const QString&, const RemoteControl::Reply&);
void serverDelete(AppDelegate&, const QStringList&, const QString&, const RemoteControl::Reply&);
void share(AppDelegate&, const QStringList&, const QString&, const RemoteControl::Reply&);
void unshare(AppDelegate&, const QStringList&, const QString&, const RemoteControl::Reply&);
void tile(AppDelegate&, const QStringList&, const QString&, const RemoteControl::Reply&);
void search(AppDelegate&, const QStringList&, const QString&, const RemoteControl::Reply&);
void text(AppDelegate&, const QStringList&, const QString&, const RemoteControl::Reply&);

// A date as scripts read it: ISO 8601 with a numeric offset, never "Z".
QString isoDate(const QDateTime& date);
} // namespace commands

} // namespace glimra
