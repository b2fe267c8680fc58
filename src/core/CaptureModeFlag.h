// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>

namespace glimra {

// What one capture takes. The app and the capture tool speak of it with the same flags.
enum class CaptureMode { FullScreen, Area, Window };
inline constexpr CaptureMode kCaptureModes[] = {CaptureMode::FullScreen, CaptureMode::Area,
                                                CaptureMode::Window};

// The tool's option letter for a mode: 's' drags an area, 'w' picks a window; the whole
// screen needs none.
constexpr std::optional<char> captureModeFlag(CaptureMode mode)
{
    switch (mode) {
    case CaptureMode::Area:
        return 's';
    case CaptureMode::Window:
        return 'w';
    case CaptureMode::FullScreen:
        break;
    }
    return std::nullopt;
}

} // namespace glimra
