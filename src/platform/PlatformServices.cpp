#include "platform/PlatformServices.h"

#include "platform/qt/DesktopFileOpener.h"
#include "platform/qt/DialogFolderPicker.h"
#include "platform/qt/SystemClipboard.h"
#include "platform/x11/X11MouseMonitor.h"

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
    if (QGuiApplication::platformName() == QLatin1String("xcb"))
        services.mouseMonitor = std::make_unique<X11MouseMonitor>();
    else
        services.mouseMonitor = std::make_unique<NullMouseMonitor>();
    return services;
}

} // namespace glimra
