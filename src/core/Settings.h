// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLatin1StringView>
#include <QSettings>

#include <memory>

namespace glimra {

// Glimra's settings file, ~/.config/Glimra/Glimra.conf. The path is worked out on every call
// (QSettings' own user scope is fixed once per process), so a changed XDG_CONFIG_HOME counts.
std::unique_ptr<QSettings> openSettings();

// Every key of that file, named once.
namespace settings {
// The folder the desktop's own screenshot tool saves to; a leading ~ is the home folder.
inline constexpr QLatin1StringView kScreenshotLocation{"screenshotLocation"};
// Another capture program taking glimra-capture's arguments.
inline constexpr QLatin1StringView kCaptureTool{"captureTool"};
// The web service's origin, and an extra PEM bundle to trust for it.
inline constexpr QLatin1StringView kServerOrigin{"serverOrigin"};
inline constexpr QLatin1StringView kServerCACertificates{"serverCACertificates"};
// The eleven shortcuts as one compact JSON object, and the older array of three it replaced.
inline constexpr QLatin1StringView kHotkeyBindings{"hotkeyBindingsV2"};
inline constexpr QLatin1StringView kOlderHotkeyBindings{"hotkeyBindings"};
// Whether Super+X and Super+V move files in the file manager.
inline constexpr QLatin1StringView kFinderCutEnabled{"finderCutEnabled"};
// WM_CLASS names that count as a file manager besides the known ones.
inline constexpr QLatin1StringView kFileManagerClasses{"fileManagerClasses"};
// Whether every new capture opens in the editor; off unless the user turns it on.
inline constexpr QLatin1StringView kOpenEditorAfterCapture{"openEditorAfterCapture"};
// Whether the library's text is read for search (on unless turned off), and in which
// language, as Tesseract names it ("eng").
inline constexpr QLatin1StringView kTextRecognition{"recogniseText"};
inline constexpr QLatin1StringView kTextLanguage{"textLanguage"};
} // namespace settings

} // namespace glimra
