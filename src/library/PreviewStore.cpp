// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/PreviewStore.h"

#include "core/BackgroundJob.h"
#include "library/ThumbnailCache.h"

#include <QThread>

namespace glimra {

namespace {

// Enough per job that handing results back costs little against the decodes, few enough
// that a view's request waits behind little.
constexpr qsizetype kBatchSize = 8;
// First loads keep their previews for this many newest items: the rows seen on opening.
constexpr qsizetype kKeptOnFirstLoad = 48;
// How long additions must pause before their previews are made.
constexpr std::chrono::milliseconds kQuietBeforeLoading{1000};

qsizetype costOf(const QImage& image)
{
    return std::max<qsizetype>(1, image.sizeInBytes());
}

} // namespace

struct PreviewStore::Result {
    Request request;
    PreviewLoad load;
};

PreviewStore::PreviewStore(QObject* parent)
    : QObject(parent), m_quiet(new QTimer(this)), m_recent(kMemoryBudget)
{
    m_pool.setMaxThreadCount(std::max(1, QThread::idealThreadCount()));
    m_quiet->setSingleShot(true);
    m_quiet->setInterval(kQuietBeforeLoading);
    connect(m_quiet, &QTimer::timeout, this, [this] {
        QList<ScreenshotItemPtr> items; // newest first
        for (auto later = m_later.rbegin(); later != m_later.rend(); ++later) {
            if (ScreenshotItemPtr item = later->lock())
                items.append(std::move(item));
        }
        // Counted as pending when they came; those gone since are no longer waited for.
        m_pending -= static_cast<qsizetype>(m_later.size()) - items.size();
        m_later.clear();
        queueFirstLoads(items);
    });
}

PreviewStore::~PreviewStore()
{
    m_pool.clear();
    m_pool.waitForDone();
}

void PreviewStore::loadAll(const QList<ScreenshotItemPtr>& items)
{
    for (const ScreenshotItemPtr& item : items)
        m_pending += item->filePath ? 1 : 0;
    queueFirstLoads(items);
}

void PreviewStore::queueFirstLoads(const QList<ScreenshotItemPtr>& items)
{
    qsizetype index = 0;
    for (const ScreenshotItemPtr& item : items) {
        if (item->filePath)
            enqueue({item, item->id, *item->filePath, index++ < kKeptOnFirstLoad, true}, false);
    }
    Q_EMIT pendingChanged();
    startBatches();
}

void PreviewStore::loadWhenQuiet(const ScreenshotItemPtr& item)
{
    if (!item->filePath)
        return;
    // Pending from now on: a script waiting for the previews waits for this one too.
    ++m_pending;
    m_later.push_back(item);
    m_quiet->start();
    Q_EMIT pendingChanged();
}

QImage PreviewStore::preview(const ScreenshotItemPtr& item)
{
    if (!item)
        return {};
    if (const QImage* kept = m_recent.object(item->id))
        return *kept;
    if (!item->filePath)
        return {};
    if (m_running.contains(item->id)) {
        m_wanted.insert(item->id);
    } else {
        enqueue({item, item->id, *item->filePath, true, false}, true);
        startBatches();
    }
    return {};
}

void PreviewStore::setPreview(const ScreenshotItemPtr& item, const QImage& preview)
{
    if (preview.isNull())
        return;
    m_recent.insert(item->id, new QImage(preview), costOf(preview));
    if (m_running.contains(item->id))
        m_handedIn.insert(item->id, ++m_clock);
}

void PreviewStore::forget(const ScreenshotItemPtr& item)
{
    if (std::erase_if(m_later, [&item](const std::weak_ptr<ScreenshotItem>& later) {
            return later.lock() == item;
        }) > 0) {
        --m_pending;
        Q_EMIT pendingChanged();
    }
    m_recent.remove(item->id);
    m_wanted.remove(item->id);
    const auto queued = m_queued.constFind(item->id);
    if (queued != m_queued.constEnd()) {
        if ((*queued)->first) {
            --m_pending;
            Q_EMIT pendingChanged();
        }
        m_queue.erase(*queued);
        m_queued.erase(queued);
    }
}

void PreviewStore::enqueue(Request request, bool urgent)
{
    const auto queued = m_queued.find(request.id);
    if (queued != m_queued.end()) {
        // Already waiting: a view's request moves it ahead and asks for its picture.
        Request& waiting = **queued;
        waiting.wantPreview = waiting.wantPreview || request.wantPreview;
        if (urgent)
            m_queue.splice(m_queue.begin(), m_queue, *queued);
        return;
    }
    const auto at = urgent ? m_queue.begin() : m_queue.end();
    const QUuid id = request.id;
    m_queued.insert(id, m_queue.insert(at, std::move(request)));
}

void PreviewStore::startBatches()
{
    while (!m_queue.empty() && m_runningBatches < m_pool.maxThreadCount()) {
        QList<Request> batch;
        while (!m_queue.empty() && batch.size() < kBatchSize) {
            Request request = std::move(m_queue.front());
            m_queue.pop_front();
            m_queued.remove(request.id);
            ++m_running[request.id];
            request.startedAt = ++m_clock;
            batch.append(std::move(request));
        }
        if (batch.isEmpty())
            return;
        ++m_runningBatches;
        runInBackground(
            &m_pool, this,
            [batch] {
                QList<Result> results;
                for (const Request& request : batch)
                    results.append({request, loadPreview(request.path, request.wantPreview)});
                return results;
            },
            [this](const QList<Result>& results) { finishBatch(results); });
    }
}

void PreviewStore::finishBatch(const QList<Result>& results)
{
    --m_runningBatches;
    qsizetype firstsDone = 0;
    for (const Result& result : results) {
        const QUuid id = result.request.id;
        firstsDone += result.request.first ? 1 : 0;
        const bool outdated = m_handedIn.value(id) > result.request.startedAt;
        if (--m_running[id] == 0) {
            m_running.remove(id);
            m_handedIn.remove(id);
        }
        const std::shared_ptr<ScreenshotItem> item = result.request.item.lock();
        if (!item) {
            m_wanted.remove(id);
            continue;
        }
        if (outdated) {
            m_wanted.remove(id);
        } else if (result.load.outcome == PreviewLoad::Unreadable) {
            m_wanted.remove(id);
            Q_EMIT unreadable(item);
        } else if (!result.load.preview.isNull()) {
            m_wanted.remove(id);
            setPreview(item, result.load.preview);
            Q_EMIT previewLoaded(item);
        } else if (m_wanted.remove(id) && item->filePath) {
            enqueue({item, id, *item->filePath, true, false}, true);
        }
    }
    if (firstsDone > 0) {
        m_pending -= firstsDone;
        Q_EMIT pendingChanged();
    }
    startBatches();
}

} // namespace glimra
