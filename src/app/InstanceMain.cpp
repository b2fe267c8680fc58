// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/AppDelegate.h"
#include "app/RemoteControl.h"
#include "app/RuntimeFolder.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QThread>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
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

// Native on a Wayland desktop: through XWayland, captures would see only X11 windows and
// nothing would reach the desktop's portals as a Wayland client. X11 when the Wayland
// platform cannot start; whatever the user chose when they chose. True when it chose.
bool choosePlatform()
{
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") ||
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return false;
    qputenv("QT_QPA_PLATFORM", "wayland;xcb");
    return true;
}

int runInstance(int argc, char** argv)
{
    const bool chosen = choosePlatform();
    QApplication app(argc, argv);
    // The programs Glimra starts (the capture tool, a file's viewer) choose for themselves.
    if (chosen)
        qunsetenv("QT_QPA_PLATFORM");
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

} // namespace

// The instance itself, started by `glimra` when none answers; users type `glimra`.
int main(int argc, char** argv)
{
    return runInstance(argc, argv);
}
