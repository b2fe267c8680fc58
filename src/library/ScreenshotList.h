// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "library/ScreenshotItem.h"

#include <QList>
#include <QObject>
#include <QSet>

#include <functional>

namespace glimra {

// The library's screenshots, newest first, and the signals that tell the views about them.
// changed() follows every change; a change to one item also names it in itemAdded,
// itemRemoved or itemChanged, a change to many at once (a load) is announced by replaced().
class ScreenshotList final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ScreenshotList)
public:
    using QObject::QObject;

    const QList<ScreenshotItemPtr>& items() const { return m_items; }
    ScreenshotItemPtr findByPath(const QString& path) const;

    // A new screenshot goes on top, whatever its date.
    void prepend(const ScreenshotItemPtr& item);
    // A screenshot that existed before (a download) goes where its date puts it, after the
    // items of the same date.
    void insertByDate(const ScreenshotItemPtr& item);
    // The folder's contents replace the list; items added while the folder was being read,
    // and not among them, stay on top.
    void replaceWithLoaded(const QList<ScreenshotItemPtr>& loaded);
    // Removes the matching items; returns how many went.
    qsizetype removeIf(const std::function<bool(const ScreenshotItemPtr&)>& matches);
    // For whoever changed an item in place.
    void notifyChanged(const ScreenshotItemPtr& item);

Q_SIGNALS:
    void changed();
    void replaced();
    void itemAdded(const ScreenshotItemPtr& item);
    void itemRemoved(const ScreenshotItemPtr& item);
    void itemChanged(const ScreenshotItemPtr& item);

private:
    void insertAt(qsizetype index, const ScreenshotItemPtr& item);

    QList<ScreenshotItemPtr> m_items;
};

} // namespace glimra
