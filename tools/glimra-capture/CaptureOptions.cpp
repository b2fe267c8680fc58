// SPDX-License-Identifier: GPL-3.0-or-later
#include "CaptureOptions.h"

#include <algorithm>
#include <cstdlib>

namespace glimra::capture {

ParsedArguments parseArguments(const std::vector<std::string>& arguments)
{
    ParsedArguments result;
    std::vector<CaptureMode> chosen;
    bool optionsEnded = false;
    std::vector<std::string> paths;

    for (const std::string& argument : arguments) {
        if (optionsEnded || argument.size() <= 1 || argument[0] != '-') {
            paths.push_back(argument);
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        if (argument == "--help") {
            result.options.showHelp = true;
            continue;
        }
        for (std::size_t i = 1; i < argument.size(); ++i) {
            const char letter = argument[i];
            if (letter == 'x')
                continue; // This tool never makes a sound, so silence needs no work.
            if (letter == 'h') {
                result.options.showHelp = true;
                continue;
            }
            const auto mode =
                std::find_if(std::begin(kCaptureModes), std::end(kCaptureModes),
                             [letter](CaptureMode m) { return captureModeFlag(m) == letter; });
            if (mode == std::end(kCaptureModes)) {
                result.error = std::string("unknown option '-") + letter + "'";
                return result;
            }
            if (std::find(chosen.begin(), chosen.end(), *mode) == chosen.end())
                chosen.push_back(*mode);
        }
    }

    if (result.options.showHelp)
        return result;
    if (chosen.size() > 1) {
        result.error = "-s and -w cannot be combined";
        return result;
    }
    if (paths.empty()) {
        result.error = "missing the output path";
        return result;
    }
    if (paths.size() > 1) {
        result.error = "expected one output path, got " + std::to_string(paths.size());
        return result;
    }
    if (paths.front().empty()) {
        result.error = "the output path is empty";
        return result;
    }
    result.options.path = paths.front();
    result.options.mode = chosen.empty() ? CaptureMode::FullScreen : chosen.front();
    return result;
}

ParsedArguments parseArguments(int argc, char** argv)
{
    return parseArguments(std::vector<std::string>(argv + std::min(argc, 1), argv + argc));
}

bool usePortal()
{
    const auto variable = [](const char* name) {
        const char* value = std::getenv(name);
        return std::string(value ? value : "");
    };
    if (const std::string forced = variable("GLIMRA_CAPTURE_BACKEND"); !forced.empty())
        return forced == "portal";
    return !variable("WAYLAND_DISPLAY").empty() && variable("QT_QPA_PLATFORM").rfind("xcb", 0) != 0;
}

std::string usageLine()
{
    return "glimra-capture [-x] [-s | -w] PATH";
}

std::string usageText()
{
    return "Usage: " + usageLine() +
           "\n"
           "Saves a screenshot at PATH (JPEG for .jpg/.jpeg, PNG otherwise).\n"
           "  -s  drag a rectangle on the frozen screen\n"
           "  -w  click a window to capture its frame\n"
           "  -x  no sound (accepted; the tool is always silent)\n"
           "Exit status: 0 saved; 1 cancelled (Escape or a right click), nothing written;\n"
           "2 failed, nothing written, and one line on standard error says why.\n";
}

} // namespace glimra::capture
