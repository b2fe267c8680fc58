// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/ScreenshotList.h"

#include <algorithm>

namespace glimra {

ScreenshotItemPtr ScreenshotList::findByPath(const QString& path) const
{
    for (const ScreenshotItemPtr& item : m_items) {
        if (item->filePath == path)
            return item;
    }
    return nullptr;
}

void ScreenshotList::insertAt(qsizetype index, const ScreenshotItemPtr& item)
{
    m_items.insert(index, item);
    Q_EMIT itemAdded(item);
    Q_EMIT changed();
}

void ScreenshotList::prepend(const ScreenshotItemPtr& item)
{
    insertAt(0, item);
}

void ScreenshotList::insertByDate(const ScreenshotItemPtr& item)
{
    const auto after =
        std::find_if(m_items.cbegin(), m_items.cend(),
                     [&](const ScreenshotItemPtr& other) { return other->date < item->date; });
    insertAt(after - m_items.cbegin(), item);
}

void ScreenshotList::replaceWithLoaded(const QList<ScreenshotItemPtr>& loaded)
{
    QSet<QString> loadedPaths;
    for (const ScreenshotItemPtr& item : loaded) {
        if (item->filePath)
            loadedPaths.insert(*item->filePath);
    }
    QList<ScreenshotItemPtr> merged;
    for (const ScreenshotItemPtr& early : std::as_const(m_items)) {
        if (!early->filePath || !loadedPaths.contains(*early->filePath))
            merged.append(early);
    }
    m_items = merged + loaded;
    Q_EMIT replaced();
    Q_EMIT changed();
}

qsizetype ScreenshotList::removeIf(const std::function<bool(const ScreenshotItemPtr&)>& matches)
{
    QList<ScreenshotItemPtr> removed;
    QList<ScreenshotItemPtr> kept;
    for (const ScreenshotItemPtr& item : std::as_const(m_items))
        (matches(item) ? removed : kept).append(item);
    if (removed.isEmpty())
        return 0;
    m_items = kept;
    for (const ScreenshotItemPtr& item : std::as_const(removed))
        Q_EMIT itemRemoved(item);
    Q_EMIT changed();
    return removed.size();
}

void ScreenshotList::notifyChanged(const ScreenshotItemPtr& item)
{
    Q_EMIT itemChanged(item);
    Q_EMIT changed();
}

} // namespace glimra
