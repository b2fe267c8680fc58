// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/RemoteClient.h"
#include "app/RemoteCommands.h"
#include "core/CompanionPath.h"

#include <QFileInfo>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <fcntl.h>
#include <iostream>
#include <spawn.h>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>

// `glimra`: sends a command to the running instance, or becomes the instance when there is no
// command. Sending a command is most of its uses, so this path loads Qt Core alone; the
// instance, with the whole GUI, is a second executable beside this one.

using namespace glimra;
using namespace std::chrono_literals;

extern char** environ;

namespace {

void print(FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
    std::fflush(stream);
}

std::string instancePath()
{
    return companionPath("glimra-instance", GLIMRA_HELPERS_FROM_BIN);
}

// Starts an instance in the background, in a session of its own so that it outlives a
// closed terminal, and waits until it takes commands. It gets none of our standard streams:
// a script reading `glimra capture full` through a pipe would otherwise wait for the
// instance to end.
bool startInstance()
{
    const std::string path = instancePath();
    posix_spawnattr_t attributes;
    ::posix_spawnattr_init(&attributes);
    ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    posix_spawn_file_actions_t streams;
    ::posix_spawn_file_actions_init(&streams);
    for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO})
        ::posix_spawn_file_actions_addopen(&streams, fd, "/dev/null", O_RDWR, 0);
    char* const arguments[] = {const_cast<char*>(path.c_str()), nullptr};
    pid_t child = 0;
    const int failed =
        ::posix_spawn(&child, path.c_str(), &streams, &attributes, arguments, environ);
    ::posix_spawn_file_actions_destroy(&streams);
    ::posix_spawnattr_destroy(&attributes);
    if (failed)
        return false;
    for (int i = 0; i < 100; ++i) {
        if (sendRemoteCommand(QStringLiteral("ping"), {}, {}, 1000).connected)
            return true;
        std::this_thread::sleep_for(100ms);
    }
    return false;
}

// One line from standard input without its line ending; not echoed when typed at a terminal.
QString readPassword()
{
    termios saved{};
    const bool terminal = ::isatty(STDIN_FILENO) && ::tcgetattr(STDIN_FILENO, &saved) == 0;
    if (terminal) {
        print(stderr, QStringLiteral("Password: "));
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    std::string line;
    std::getline(std::cin, line);
    if (terminal) {
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        print(stderr, QStringLiteral("\n"));
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return QString::fromStdString(line);
}

int runClient(const RemoteCommand& command, QStringList args)
{
    if (command.takesPaths) {
        for (QString& arg : args)
            arg = QFileInfo(arg).absoluteFilePath();
    }
    if (command.argumentCount >= 0 && args.size() != command.argumentCount) {
        print(stderr, usageText());
        return 2;
    }
    const QString input = command.readsPassword ? readPassword() : QString();
    if (command.startsInstance) {
        const RemoteResult ping = sendRemoteCommand(QStringLiteral("ping"), {}, {}, 1000);
        if (!ping.connected && !ping.err.isEmpty()) {
            print(stderr, ping.err); // a socket or folder we must not trust: start nothing
            return 1;
        }
        if (!ping.connected && !startInstance()) {
            print(stderr, QStringLiteral("Glimra could not be started\n"));
            return 1;
        }
    }
    const RemoteResult result = sendRemoteCommand(command.name, args, input,
                                                  static_cast<int>(command.clientTimeout.count()));
    if (!result.connected) {
        print(stderr, result.err.isEmpty() ? QString(kNotRunning) : result.err);
        return 1;
    }
    print(stdout, result.out);
    print(stderr, result.err);
    return result.exitCode;
}

} // namespace

int main(int argc, char** argv)
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args.append(QString::fromLocal8Bit(argv[i]));
    const QString command = args.isEmpty() ? QString() : args.takeFirst();

    if (command == QLatin1String("-h") || command == QLatin1String("--help") ||
        command == QLatin1String("help")) {
        print(stdout, usageText());
        return 0;
    }
    if (command == QLatin1String("--version")) {
        print(stdout, QStringLiteral("glimra " GLIMRA_VERSION "\n"));
        return 0;
    }
    if (command.isEmpty()) {
        if (sendRemoteCommand(QStringLiteral("toggle"), {}, {}, 2000).connected)
            return 0;
        // Become the instance: the same process, so whoever started us can stop it.
        const std::string path = instancePath();
        ::execv(path.c_str(), argv);
        print(stderr, QStringLiteral("Glimra could not be started: %1\n")
                          .arg(QString::fromLocal8Bit(path.c_str())));
        return 1;
    }
    const RemoteCommand* known = clientCommand(command);
    if (!known) {
        print(stderr, QStringLiteral("Unknown command: %1\n").arg(command) + usageText());
        return 2;
    }
    return runClient(*known, args);
}
