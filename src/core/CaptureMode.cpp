// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/CaptureMode.h"

namespace glimra {

QStringList captureToolArguments(CaptureMode mode, const QString& path)
{
    QStringList arguments{QStringLiteral("-x")};
    if (const std::optional<char> flag = captureModeFlag(mode))
        arguments.append(QLatin1Char('-') + QLatin1Char(*flag));
    arguments.append(path);
    return arguments;
}

QString captureTypeText(CaptureMode mode)
{
    switch (mode) {
    case CaptureMode::Area:
        return QStringLiteral("selection");
    case CaptureMode::Window:
        return QStringLiteral("window");
    case CaptureMode::FullScreen:
        break;
    }
    return QStringLiteral("fullscreen");
}

} // namespace glimra
