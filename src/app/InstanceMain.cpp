#include "app/AppDelegate.h"
#include "app/RemoteCommands.h"
#include "app/RemoteControl.h"
#include "app/RuntimeFolder.h"

#include <QApplication>
#include <QProcess>
#include <QSocketNotifier>
#include <QThread>

#include <csignal>
#include <cstdio>
#include <iostream>
#include <string>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

using namespace glimra;

namespace {

int g_signalPipe[2] = {-1, -1};

void onTerminationSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] auto n = ::write(g_signalPipe[1], &byte, 1);
}

// A session logout sends SIGTERM: quit through the event loop so teardown runs in order.
void quitOnTerminationSignals(QCoreApplication& app)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [&app] {
        char byte;
        [[maybe_unused]] auto n = ::read(g_signalPipe[0], &byte, 1);
        app.quit();
    });
    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

void print(FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
    std::fflush(stream);
}

int runInstance(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Glimra"));
    QApplication::setApplicationDisplayName(QStringLiteral("Glimra"));
    QApplication::setQuitOnLastWindowClosed(false);

    const RuntimeFolder folder = runtimeFolder();
    if (!folder.isUsable()) {
        print(stderr, QStringLiteral("Glimra will not start: ") + folder.problem + u'\n');
        return 1;
    }
    RemoteControl remote;
    if (!remote.claimInstance()) {
        // Another instance is starting at this moment: let it show itself instead.
        for (int i = 0; i < 50; ++i) {
            if (sendRemoteCommand(QStringLiteral("toggle"), {}, {}, 2000).connected)
                return 0;
            QThread::msleep(100);
        }
        print(stderr, QStringLiteral("Glimra is already running but does not answer\n"));
        return 1;
    }
    if (!remote.listen())
        print(stderr, QStringLiteral("Glimra: the command socket could not be opened\n"));

    AppDelegate delegate(createPlatformServices());
    delegate.registerRemoteCommands(&remote);
    quitOnTerminationSignals(app);
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &delegate,
                     [&delegate] { delegate.applicationWillTerminate(); });
    delegate.applicationDidFinishLaunching();
    return app.exec();
}

// Starts an instance in the background and waits until it takes commands.
bool startInstance()
{
    if (!QProcess::startDetached(QCoreApplication::applicationFilePath(), {}))
        return false;
    for (int i = 0; i < 100; ++i) {
        if (sendRemoteCommand(QStringLiteral("ping"), {}, {}, 1000).connected)
            return true;
        QThread::msleep(100);
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

int runClient(int argc, char** argv, const RemoteCommand& command, const QStringList& args)
{
    QCoreApplication app(argc, argv);
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
    if (command.isEmpty()) {
        {
            QCoreApplication probe(argc, argv);
            if (sendRemoteCommand(QStringLiteral("toggle"), {}, {}, 2000).connected)
                return 0;
        }
        return runInstance(argc, argv);
    }
    const RemoteCommand* known = clientCommand(command);
    if (!known) {
        print(stderr, usageText());
        return 2;
    }
    return runClient(argc, argv, *known, args);
}
