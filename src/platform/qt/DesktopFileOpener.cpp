// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/DesktopFileOpener.h"

#include <QDesktopServices>
#include <QUrl>

namespace glimra {

bool DesktopFileOpener::open(const QString& path)
{
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

} // namespace glimra
