#pragma once

#include "core/CaptureMode.h"

#include <QString>
#include <QStringList>

namespace glimra::capture {

using glimra::CaptureMode;

struct CaptureOptions {
    CaptureMode mode = CaptureMode::FullScreen;
    QString path;
    bool showHelp = false;
};

struct ParsedArguments {
    CaptureOptions options;
    // Empty when the arguments were understood; otherwise one line for standard error.
    QString error;
};

// Reads `[-x] [-s | -w] PATH` (arguments without the program name). Single-letter options
// may be bundled ("-xs") because scripts written for the macOS tool do that.
ParsedArguments parseArguments(const QStringList& arguments);
// The same for a process's own command line (argv[0] is the program and is skipped).
ParsedArguments parseArguments(int argc, char** argv);

QString usageText();

} // namespace glimra::capture
