// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/Settings.h"

#include <QStandardPaths>

namespace glimra {

std::unique_ptr<QSettings> openSettings()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return std::make_unique<QSettings>(folder + QStringLiteral("/Glimra/Glimra.conf"),
                                       QSettings::IniFormat);
}

} // namespace glimra
