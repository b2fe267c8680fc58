// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/PlatformServices.h"

#include "platform/GlobalKeyGrabber.h"
#include "platform/portal/PortalKeyGrabber.h"
#include "platform/qt/DesktopFileOpener.h"
#include "platform/qt/DialogFolderPicker.h"
#include "platform/qt/SystemClipboard.h"
#include "platform/wayland/KWinWindowMover.h"
#include "platform/wayland/SwayWindowMover.h"
#include "platform/wayland/WlCopyClipboard.h"
#include "platform/x11/X11KeyGrabber.h"
#include "platform/x11/X11MouseMonitor.h"
#include "platform/x11/X11WindowMover.h"

#include <QDBusConnection>
#include <QFileInfo>
#include <QGuiApplication>
#include <QStandardPaths>

namespace glimra {

namespace {

void useX11(PlatformServices& services)
{
    services.clipboard = std::make_unique<SystemClipboard>();
    services.mouseMonitor = std::make_unique<X11MouseMonitor>();
    services.keyGrabber = std::make_unique<X11KeyGrabber>();
    if (auto mover = std::make_unique<X11WindowMover>(); mover->isConnected())
        services.windowMover = std::move(mover);
}

// No client sees another's input or windows here; what the desktop offers instead: its
// portal for shortcuts, sway's socket or KWin's scripting for tiling, and wl-copy for a
// clipboard that works without a focused window. Qt's clipboard is ignored by the compositor
// whenever another window has the focus, as it has when a shortcut starts a capture.
void useWayland(PlatformServices& services)
{
    const QString wlCopy = QStandardPaths::findExecutable(QStringLiteral("wl-copy"));
    if (!wlCopy.isEmpty())
        services.clipboard = std::make_unique<WlCopyClipboard>(wlCopy);
    else
        services.clipboard = std::make_unique<SystemClipboard>();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected())
        services.keyGrabber = std::make_unique<PortalKeyGrabber>(bus);
    const QString swaySocket = qEnvironmentVariable("SWAYSOCK");
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (!swaySocket.isEmpty() && QFileInfo(swaySocket).exists())
        services.windowMover = std::make_unique<SwayWindowMover>(swaySocket);
    else if (bus.isConnected() && !runtime.isEmpty() && KWinWindowMover::isRunning(bus))
        services.windowMover =
            std::make_unique<KWinWindowMover>(bus, runtime + QStringLiteral("/glimra-tile.js"));
}

} // namespace

PlatformServices::PlatformServices() = default;
PlatformServices::~PlatformServices() = default;
PlatformServices::PlatformServices(PlatformServices&&) noexcept = default;
PlatformServices& PlatformServices::operator=(PlatformServices&&) noexcept = default;

PlatformServices createPlatformServices()
{
    PlatformServices services;
    services.folderPicker = std::make_unique<DialogFolderPicker>();
    services.fileOpener = std::make_unique<DesktopFileOpener>();
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("xcb"))
        useX11(services);
    else if (platform.startsWith(QLatin1String("wayland")))
        useWayland(services);
    // What the session forbids, or a backend could not reach, does nothing.
    if (!services.clipboard)
        services.clipboard = std::make_unique<SystemClipboard>();
    if (!services.mouseMonitor)
        services.mouseMonitor = std::make_unique<NullMouseMonitor>();
    if (!services.keyGrabber)
        services.keyGrabber = std::make_unique<NullKeyGrabber>();
    if (!services.windowMover)
        services.windowMover = std::make_unique<NullWindowMover>();
    return services;
}

} // namespace glimra
