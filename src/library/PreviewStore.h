// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "library/ScreenshotItem.h"

#include <QCache>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QThreadPool>
#include <QTimer>

#include <list>
#include <memory>
#include <vector>

namespace glimra {

// The previews of the library's items, in bounded memory: the recently used ones are kept,
// the others are read again from the thumbnail cache when a view asks for them. Loading runs
// on worker threads, in the order asked, a view's requests ahead of the first load.
class PreviewStore final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PreviewStore)
public:
    // About three screens of rows at 160x100 device pixels, with room to scroll back.
    static constexpr qsizetype kMemoryBudget = 12 * 1024 * 1024;

    explicit PreviewStore(QObject* parent = nullptr);
    ~PreviewStore() override;

    // Makes sure every item has a usable preview, in the order given (newest first);
    // the first ones stay in memory, for the rows a view shows first.
    void loadAll(const QList<ScreenshotItemPtr>& items);
    // Like loadAll for one new item, once no other has come this way for a moment: a burst of
    // imports is not held up by decoding. A view asking for the preview loads it at once.
    void loadWhenQuiet(const ScreenshotItemPtr& item);
    // The first loads not finished yet.
    qsizetype pending() const { return m_pending; }

    // The item's preview when it is in memory; otherwise null, and it is loaded.
    QImage preview(const ScreenshotItemPtr& item);
    void setPreview(const ScreenshotItemPtr& item, const QImage& preview);
    void forget(const ScreenshotItemPtr& item);

Q_SIGNALS:
    void previewLoaded(const ScreenshotItemPtr& item);
    // The item's file is no readable picture (any more), or is gone.
    void unreadable(const ScreenshotItemPtr& item);
    void pendingChanged();

private:
    struct Request {
        std::weak_ptr<ScreenshotItem> item;
        QUuid id;
        QString path;
        bool wantPreview = false;
        bool first = false; // counted in pending()
        quint64 startedAt = 0;
    };
    struct Result;

    void queueFirstLoads(const QList<ScreenshotItemPtr>& items);
    void enqueue(Request request, bool urgent);
    void startBatches();
    void finishBatch(const QList<Result>& results);

    QThreadPool m_pool;
    QTimer* m_quiet;
    std::vector<std::weak_ptr<ScreenshotItem>> m_later; // oldest first
    QCache<QUuid, QImage> m_recent;
    std::list<Request> m_queue;
    QHash<QUuid, std::list<Request>::iterator> m_queued;
    QHash<QUuid, int> m_running; // requests in flight, by item
    QSet<QUuid> m_wanted;        // asked for by a view while a load without picture ran
    // When a picture was last handed in (the file was edited meanwhile): a load started
    // before then would bring back the old one.
    QHash<QUuid, quint64> m_handedIn;
    quint64 m_clock = 0;
    int m_runningBatches = 0;
    qsizetype m_pending = 0;
};

} // namespace glimra
