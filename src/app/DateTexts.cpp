// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/DateTexts.h"

#include "app/RemoteCommands.h"

namespace glimra::commands {

QStringList DateTexts::texts(const QList<ScreenshotItemPtr>& items, const QByteArray& zone)
{
    if (zone != m_zone) {
        m_known.clear();
        m_zone = zone;
    }
    QHash<QUuid, Known> next;
    next.reserve(items.size());
    QStringList texts;
    texts.reserve(items.size());
    for (const ScreenshotItemPtr& item : items) {
        // Only local dates ask the zone. Two of them compare without asking it; equal
        // instants of other kinds (UTC, an offset) are written differently.
        if (item->date.timeSpec() != Qt::LocalTime) {
            texts.append(isoDate(item->date));
            continue;
        }
        const auto known = m_known.constFind(item->id);
        QString text = known != m_known.constEnd() && known->date == item->date
                           ? known->text
                           : isoDate(item->date);
        next.insert(item->id, {item->date, text});
        texts.append(std::move(text));
    }
    m_known = std::move(next);
    return texts;
}

} // namespace glimra::commands
