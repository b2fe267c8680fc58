// glimra-capture: the screenshot tool Glimra runs for every capture. Its arguments and exit
// status follow the macOS screencapture tool, so the capture code can treat both alike.

#include "CaptureOptions.h"
#include "ImageFile.h"
#include "SelectionOverlay.h"
#include "X11Screen.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>

#include <cstdio>
#include <cstdlib>
#include <xcb/xcb.h>

using namespace glimra::capture;

namespace {

constexpr int kExitCancelled = 1;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

void complain(const QString& message)
{
    std::fprintf(stderr, "glimra-capture: %s\n", message.toLocal8Bit().constData());
}

int save(const QImage& image, const QString& path)
{
    const QByteArray bytes = encodeForPath(image, path);
    if (bytes.isEmpty()) {
        complain(QStringLiteral("could not encode the image for %1").arg(path));
        return kExitFailed;
    }
    const QString error = writeFileAtomically(path, bytes);
    if (!error.isEmpty()) {
        complain(error);
        return kExitFailed;
    }
    return 0;
}

// The whole screen needs no window and no event loop, so it talks to the X server directly:
// starting a Qt GUI application (platform plugin, fonts, screens) would cost more than the
// capture itself.
int captureFullScreen(const QString& path)
{
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        complain(QStringLiteral("cannot open the X display (is DISPLAY set?)"));
        return kExitFailed;
    }
    QString error;
    const QImage image = grabRoot(connection, defaultRoot(connection), &error);
    xcb_disconnect(connection);
    if (image.isNull()) {
        complain(error);
        return kExitFailed;
    }
    return save(image, path);
}

bool canReachX11()
{
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    const bool ok = !xcb_connection_has_error(connection);
    xcb_disconnect(connection);
    return ok;
}

int captureInteractively(int argc, char** argv, const CaptureOptions& options)
{
    // The overlay relies on X11 grabs, so Qt must not pick Wayland even where both exist, and
    // a missing display is reported here rather than by Qt aborting.
    if (!canReachX11()) {
        complain(QStringLiteral("cannot open the X display (is DISPLAY set?)"));
        return kExitFailed;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    auto* x11 = app.nativeInterface<QNativeInterface::QX11Application>();
    if (!x11) {
        complain(QStringLiteral("interactive capture needs an X11 session"));
        return kExitFailed;
    }
    xcb_connection_t* connection = x11->connection();
    const std::uint32_t root = defaultRoot(connection);

    // Freeze first: the windows listed and the pixels grabbed are the ones the user saw when
    // the capture began, before the overlay covers them.
    QString error;
    const QImage frozen = grabRoot(connection, root, &error);
    if (frozen.isNull()) {
        complain(error);
        return kExitFailed;
    }
    const QRect desktop = frozen.rect(); // root pixels start at (0,0) on X11
    SelectionSession session(options.mode, frozen, desktop, visibleFrames(connection, root));

    int status = kExitCancelled;
    QObject::connect(&session, &SelectionSession::selected, &app, [&](QRect device) {
        status = save(frozen.copy(deviceToImage(device, desktop)), options.path);
        app.exit();
    });
    QObject::connect(&session, &SelectionSession::cancelled, &app, [&] {
        status = kExitCancelled;
        app.exit();
    });
    QObject::connect(&session, &SelectionSession::failed, &app, [&](const QString& reason) {
        complain(reason);
        status = kExitFailed;
        app.exit();
    });
    session.start();
    app.exec();
    return status;
}

} // namespace

int main(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    const ParsedArguments parsed = parseArguments(arguments);
    if (!parsed.error.isEmpty()) {
        complain(parsed.error + QStringLiteral(" (try --help)"));
        return kExitUsage;
    }
    if (parsed.options.showHelp) {
        std::fputs(usageText().toLocal8Bit().constData(), stdout);
        return 0;
    }
    // A bad path is reported before anything is grabbed, so the user never makes a
    // selection that cannot be saved.
    const QString problem = destinationProblem(parsed.options.path);
    if (!problem.isEmpty()) {
        complain(problem);
        return kExitFailed;
    }
    if (parsed.options.mode == CaptureMode::FullScreen)
        return captureFullScreen(parsed.options.path);
    return captureInteractively(argc, argv, parsed.options);
}
