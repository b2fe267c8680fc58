// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "library/ScreenshotItem.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QStringList>

namespace glimra::commands {

// The ISO texts of the items' dates, as isoDate writes them, kept from one listing to the
// next. Each text asks the C library for the local zone, which looks at the zone file
// every time; a listing of thousands during an import burst spent most of its time there.
// A text is made again when its item's date or the system's zone has changed.
class DateTexts final {
public:
    QStringList texts(const QList<ScreenshotItemPtr>& items, const QByteArray& zone);

private:
    struct Known {
        QDateTime date;
        QString text;
    };
    QByteArray m_zone;
    QHash<QUuid, Known> m_known; // only the items of the last listing
};

} // namespace glimra::commands
