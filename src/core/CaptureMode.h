#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace glimra {

// What one capture takes. The app and the capture tool speak of it with the same flags.
enum class CaptureMode { FullScreen, Area, Window };

inline constexpr CaptureMode kCaptureModes[] = {CaptureMode::FullScreen, CaptureMode::Area,
                                                CaptureMode::Window};

// The tool's option letter for a mode: 's' drags an area, 'w' picks a window; the whole
// screen needs none.
std::optional<char> captureModeFlag(CaptureMode mode);

// The tool's arguments for a capture into path: "-x" (no sound), the mode's flag, the path.
QStringList captureToolArguments(CaptureMode mode, const QString& path);

// How a screenshot taken this way is labelled in the library and on the server:
// "fullscreen", "selection" or "window".
QString captureTypeText(CaptureMode mode);

} // namespace glimra
