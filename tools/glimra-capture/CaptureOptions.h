// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/CaptureModeFlag.h"

#include <string>
#include <vector>

namespace glimra::capture {

using glimra::CaptureMode;

struct CaptureOptions {
    CaptureMode mode = CaptureMode::FullScreen;
    std::string path; // as given, in the file system's encoding
    bool showHelp = false;
};

struct ParsedArguments {
    CaptureOptions options;
    // Empty when the arguments were understood; otherwise one line for standard error.
    std::string error;
};

// Reads `[-x] [-s | -w] PATH` (arguments without the program name). Single-letter options
// may be bundled ("-xs") because scripts written for the macOS tool do that.
ParsedArguments parseArguments(const std::vector<std::string>& arguments);
// The same for a process's own command line (argv[0] is the program and is skipped).
ParsedArguments parseArguments(int argc, char** argv);

// The exit statuses of glimra-capture and glimra-capture-select. A script can tell a user who
// changed their mind (nothing to report) from a capture that went wrong (one line on standard
// error says why); arguments that make no sense are an error like any other.
inline constexpr int kExitSaved = 0;
inline constexpr int kExitCancelled = 1;
inline constexpr int kExitError = 2;

// Whether captures go through the desktop's screenshot portal: in a Wayland session, unless
// Qt is told to use X11 there. GLIMRA_CAPTURE_BACKEND ("portal" or "x11") decides instead
// when set.
bool usePortal();

std::string usageText();
// The first line of usageText without "Usage: ", for error messages that must stay one line.
std::string usageLine();

} // namespace glimra::capture
