// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

namespace glimra {

class Clipboard;
class FolderPicker;
class FileOpener;
class GlobalKeyGrabber;
class GlobalMouseMonitor;
class WindowMover;

// Every desktop service the managers use, chosen once for the session Glimra runs in.
struct PlatformServices {
    std::unique_ptr<Clipboard> clipboard;
    std::unique_ptr<FolderPicker> folderPicker;
    std::unique_ptr<FileOpener> fileOpener;
    std::unique_ptr<GlobalMouseMonitor> mouseMonitor;
    std::unique_ptr<WindowMover> windowMover;
    std::unique_ptr<GlobalKeyGrabber> keyGrabber;

    PlatformServices();
    ~PlatformServices();
    PlatformServices(PlatformServices&&) noexcept;
    PlatformServices& operator=(PlatformServices&&) noexcept;
};

// X11 implementations on an X11 session; on Wayland the desktop's portal, sway's socket and
// the data-control clipboard where offered; do-nothing ones for what the session forbids.
PlatformServices createPlatformServices();

} // namespace glimra
