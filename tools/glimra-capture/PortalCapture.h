// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "CaptureOptions.h"

namespace glimra::capture {

// The whole capture through the portal, with the exit statuses of glimra-capture: the
// portal's picture of the desktop saved as it is, or Glimra's own overlay over it for an
// area; a window is chosen from sway's layout on sway and in the desktop's own dialog
// elsewhere.
int runPortalCapture(const CaptureOptions& options, int& argc, char** argv);

} // namespace glimra::capture
