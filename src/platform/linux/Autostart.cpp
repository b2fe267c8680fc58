#include "platform/Autostart.h"

namespace glimra::autostart {

bool isEnabled()
{
    return false;
}

QString setEnabled(bool)
{
    return QStringLiteral("Start at login is not available yet");
}

} // namespace glimra::autostart
