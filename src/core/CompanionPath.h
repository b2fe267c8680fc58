// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <climits>
#include <string>
#include <unistd.h>

namespace glimra {

// Where a program Glimra runs but does not offer as a command is found: beside the running
// executable in a build folder, where every program lands in one folder, or at `installed`
// relative to that folder (an installation keeps helpers out of the command path). Plain C++:
// glimra-capture loads no Qt.
inline std::string companionPath(const char* name, const char* installed)
{
    char self[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0)
        return name;
    std::string folder(self, static_cast<size_t>(length));
    folder.resize(folder.rfind('/') + 1);
    if (const std::string beside = folder + name; ::access(beside.c_str(), X_OK) == 0)
        return beside;
    return folder + installed + '/' + name;
}

} // namespace glimra
