// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <csignal>
#include <cstdlib>
#include <cstring>

namespace glimra::server {

// In test builds only: the process dies here, as in a power cut, when GLIMRA_FAULT_POINT
// names this point. Release builds compile it to nothing.
inline void faultPoint([[maybe_unused]] const char* name)
{
#ifdef GLIMRA_SERVER_FAULT_POINTS
    const char* wanted = std::getenv("GLIMRA_FAULT_POINT");
    if (wanted && std::strcmp(wanted, name) == 0)
        std::raise(SIGKILL);
#endif
}

} // namespace glimra::server
