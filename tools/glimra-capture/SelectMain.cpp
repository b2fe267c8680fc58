// SPDX-License-Identifier: GPL-3.0-or-later
// glimra-capture-select: the interactive half of glimra-capture (-s and -w), started by it
// with the same arguments. It freezes the screen, lets the user choose on overlays and saves
// the chosen part.

#include "CaptureOptions.h"
#include "ImageFile.h"
#include "PortalCapture.h"
#include "SelectionOverlay.h"
#include "X11Frames.h"
#include "X11Screen.h"

#include <QGuiApplication>
#include <QImage>

#include <cstdio>
#include <xcb/xcb.h>

using namespace glimra::capture;

namespace {

void complain(const QString& message)
{
    std::fprintf(stderr, "glimra-capture: %s\n", message.toLocal8Bit().constData());
}

void complain(const std::string& message)
{
    std::fprintf(stderr, "glimra-capture: %s\n", message.c_str());
}

bool canReachX11()
{
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    const bool ok = !xcb_connection_has_error(connection);
    xcb_disconnect(connection);
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    const ParsedArguments parsed = parseArguments(argc, argv);
    if (!parsed.error.empty() || parsed.options.showHelp) {
        complain(parsed.error.empty() ? std::string("run glimra-capture instead") : parsed.error);
        return kExitError;
    }
    const CaptureOptions& options = parsed.options;
    const std::string problem = destinationProblem(options.path);
    if (!problem.empty()) {
        complain(problem);
        return kExitError;
    }
    if (usePortal())
        return runPortalCapture(options, argc, argv);
    // The overlay relies on X11 grabs, so Qt must not pick Wayland even where both exist, and
    // a missing display is reported here rather than by Qt aborting.
    if (!canReachX11()) {
        complain(QStringLiteral("cannot open the X display (is DISPLAY set?)"));
        return kExitError;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    auto* x11 = app.nativeInterface<QNativeInterface::QX11Application>();
    if (!x11) {
        complain(QStringLiteral("interactive capture needs an X11 session"));
        return kExitError;
    }
    xcb_connection_t* connection = x11->connection();
    const std::uint32_t root = defaultRoot(connection);

    // Freeze first: the windows listed and the pixels grabbed are the ones the user saw when
    // the capture began, before the overlay covers them.
    std::string error;
    const PixelBuffer screen = grabRoot(connection, root, &error);
    if (screen.view.isNull()) {
        complain(error);
        return kExitError;
    }
    const QImage frozen(screen.view.bits, screen.view.width, screen.view.height,
                        screen.view.bytesPerLine, QImage::Format_RGB32);
    if (options.mode == CaptureMode::FullScreen)
        return saveCaptureImage(frozen, options.path);

    const QRect desktop = frozen.rect(); // root pixels start at (0,0) on X11
    SelectionSession session(options.mode, frozen, desktop, visibleFrames(connection, root));
    return runSelection(session, frozen, desktop, options.path);
}
