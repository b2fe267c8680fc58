// SPDX-License-Identifier: GPL-3.0-or-later
// glimra-capture: the screenshot tool Glimra runs for every capture. Its arguments follow the
// macOS screencapture tool; its exit status tells a cancel (1) from a failure (2, with one line
// on standard error), which that tool does not.
//
// This executable links no Qt library: loading even Qt Core takes longer than grabbing and
// saving a screen. The interactive modes need windows, and a Wayland desktop's screenshot
// portal needs D-Bus, so they are handed to glimra-capture-select, which replaces this process
// (same process id, same exit status).

#include "CaptureOptions.h"
#include "CaptureThumbnail.h"
#include "ImageFile.h"
#include "X11Screen.h"

#include "core/AtomicWrite.h"
#include "core/CompanionPath.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <xcb/xcb.h>

using namespace glimra::capture;

namespace {

constexpr char kSelectTool[] = "glimra-capture-select";

void complain(const std::string& message)
{
    std::fprintf(stderr, "glimra-capture: %s\n", message.c_str());
}

int captureFullScreen(const std::string& path)
{
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        complain("cannot open the X display (is DISPLAY set?)");
        return kExitError;
    }
    std::string error;
    ScaledPixels thumbnail;
    {
        // The rows come in bands; encoding and the thumbnail start with the first of them.
        const PixelBuffer screen = grabRoot(connection, defaultRoot(connection), &error,
                                            Transport::Any, Delivery::InBands);
        if (screen.view.isNull()) {
            xcb_disconnect(connection);
            complain(error);
            return kExitError;
        }
        std::thread scaling;
        const auto scale = [&] {
            // A signal must reach the thread that holds it back while the file is written,
            // or the tool could die with the temporary still there.
            const sigset_t termination = glimra::posix::terminationSignals();
            pthread_sigmask(SIG_BLOCK, &termination, nullptr);
            if (screen.waitForRows(screen.view.height))
                thumbnail = captureThumbnail(screen.view);
        };
        try {
            scaling = std::thread(scale);
        } catch (const std::system_error&) {
            scale();
        }
        error = saveCapture(screen.view, path, screen.arrival.get());
        if (scaling.joinable())
            scaling.join();
    } // the buffer takes its last replies from the connection
    xcb_disconnect(connection);
    if (!error.empty()) {
        complain(error);
        return kExitError;
    }
    writeCaptureThumbnail(thumbnail, path);
    return kExitSaved;
}

int runSelectTool(char** argv)
{
    std::string tool = glimra::companionPath(kSelectTool, GLIMRA_HELPERS_FROM_BIN);
    argv[0] = tool.data();
    ::execv(tool.c_str(), argv);
    complain("cannot start " + tool + ": " + std::strerror(errno));
    return kExitError;
}

} // namespace

int main(int argc, char** argv)
{
    const ParsedArguments parsed = parseArguments(argc, argv);
    if (!parsed.error.empty()) {
        complain(parsed.error + " (usage: " + usageLine() + ')');
        return kExitError;
    }
    if (parsed.options.showHelp) {
        std::fputs(usageText().c_str(), stdout);
        return 0;
    }
    // A bad path is reported before anything is grabbed, so the user never makes a
    // selection that cannot be saved.
    const std::string problem = destinationProblem(parsed.options.path);
    if (!problem.empty()) {
        complain(problem);
        return kExitError;
    }
    // The portal speaks D-Bus, which the interactive half already loads with Qt.
    if (parsed.options.mode == CaptureMode::FullScreen && !usePortal())
        return captureFullScreen(parsed.options.path);
    return runSelectTool(argv);
}
