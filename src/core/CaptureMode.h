// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/CaptureModeFlag.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace glimra {

// The tool's arguments for a capture into path: "-x" (no sound), the mode's flag, the path.
QStringList captureToolArguments(CaptureMode mode, const QString& path);

// How a screenshot taken this way is labelled in the library and on the server:
// "fullscreen", "selection" or "window".
QString captureTypeText(CaptureMode mode);

} // namespace glimra
