// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/PlatformServices.h"

#include "platform/GlobalKeyGrabber.h"
#include "platform/qt/DesktopFileOpener.h"
#include "platform/qt/DialogFolderPicker.h"
#include "platform/qt/SystemClipboard.h"
#include "platform/x11/X11KeyGrabber.h"
#include "platform/x11/X11MouseMonitor.h"
#include "platform/x11/X11WindowMover.h"

#include <QGuiApplication>

namespace glimra {

PlatformServices::PlatformServices() = default;
PlatformServices::~PlatformServices() = default;
PlatformServices::PlatformServices(PlatformServices&&) noexcept = default;
PlatformServices& PlatformServices::operator=(PlatformServices&&) noexcept = default;

PlatformServices createPlatformServices()
{
    PlatformServices services;
    services.clipboard = std::make_unique<SystemClipboard>();
    services.folderPicker = std::make_unique<DialogFolderPicker>();
    services.fileOpener = std::make_unique<DesktopFileOpener>();
    const bool x11 = QGuiApplication::platformName() == QLatin1String("xcb");
    if (x11) {
        services.mouseMonitor = std::make_unique<X11MouseMonitor>();
        services.keyGrabber = std::make_unique<X11KeyGrabber>();
    } else {
        services.mouseMonitor = std::make_unique<NullMouseMonitor>();
        services.keyGrabber = std::make_unique<NullKeyGrabber>();
    }
    if (auto mover = x11 ? std::make_unique<X11WindowMover>() : nullptr;
        mover && mover->isConnected())
        services.windowMover = std::move(mover);
    else
        services.windowMover = std::make_unique<NullWindowMover>();
    return services;
}

} // namespace glimra
