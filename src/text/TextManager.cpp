// SPDX-License-Identifier: GPL-3.0-or-later
#include "text/TextManager.h"

#include "core/BackgroundJob.h"
#include "core/CompanionPath.h"
#include "core/Settings.h"
#include "library/ScreenshotManager.h"
#include "text/TextLanguages.h"

#include <QThread>

#include <algorithm>

namespace glimra {

using text::LibraryFile;
using text::TextWorker;

TextManager::TextManager(ScreenshotManager* library, QObject* parent)
    : QObject(parent), m_library(library)
{
    qRegisterMetaType<QList<LibraryFile>>();
    m_enabled = openSettings()->value(settings::kTextRecognition, true).toBool();
    m_language = text::chosenLanguage();
    // Searches as the user types: one at a time, the newest wins in the view.
    m_searchPool.setMaxThreadCount(1);
    m_quiet.setSingleShot(true);
    m_quiet.setInterval(kQuietMs);
    connect(&m_quiet, &QTimer::timeout, this, [this] {
        m_holding = false;
        updatePause();
    });
    // A burst of changes (an import, a sync) makes one new listing, not one per file.
    m_listing.setSingleShot(true);
    m_listing.setInterval(500);
    connect(&m_listing, &QTimer::timeout, this, &TextManager::sendLibrary);

    const auto changed = [this] {
        hold();
        m_listing.start();
    };
    connect(library, &ScreenshotManager::itemAdded, this, [this] {
        if (m_pending >= 0 && m_worker) {
            ++m_pending;
            Q_EMIT pendingChanged();
        }
    });
    connect(library, &ScreenshotManager::libraryLoaded, this, &TextManager::sendLibrary);
    connect(library, &ScreenshotManager::screenshotsReplaced, this, changed);
    connect(library, &ScreenshotManager::itemAdded, this, changed);
    connect(library, &ScreenshotManager::itemRemoved, this, changed);
    connect(library, &ScreenshotManager::itemChanged, this, [this] { hold(); });
    connect(library, &ScreenshotManager::captureFinished, this, [this] {
        m_capturing = std::max(0, m_capturing - 1);
        hold();
    });
    connect(library, &ScreenshotManager::isLoadingServerChanged, this, &TextManager::updatePause);
    connect(library, &ScreenshotManager::isDownloadingMissingChanged, this,
            &TextManager::updatePause);
    if (m_enabled)
        startWorker();
}

TextManager::~TextManager()
{
    stopWorker(false);
    if (m_removing)
        m_removing->wait();
    m_searchPool.waitForDone();
}

QString TextManager::readerProgram()
{
    // The instance and the reader are installed side by side in the helpers' folder, and
    // land side by side in a build folder.
    return QString::fromStdString(companionPath("glimra-text-reader", "."));
}

int TextManager::pending() const
{
    if (!m_enabled)
        return 0;
    if (m_pending >= 0)
        return m_pending;
    const QList<ScreenshotItemPtr>& items = m_library->screenshots();
    return static_cast<int>(
        std::count_if(items.begin(), items.end(), [](const auto& item) { return item->filePath; }));
}

void TextManager::startWorker()
{
    // Turned off and on again at once: the old index goes before the new one is made.
    if (m_removing)
        m_removing->wait();
    m_stop = std::make_shared<std::atomic<bool>>(false);
    m_unavailable.clear();
    m_thread = new QThread(this);
    m_thread->setObjectName(QStringLiteral("glimra-text"));
    auto* worker =
        new TextWorker({text::TextIndex::defaultPath(), readerProgram(), m_language, {}, m_helper},
                       m_stop, m_paused);
    worker->moveToThread(m_thread);
    m_worker = worker;
    connect(m_thread, &QThread::finished, worker, &QObject::deleteLater);
    connect(worker, &TextWorker::indexRemoved, m_thread, &QThread::quit, Qt::DirectConnection);
    connect(worker, &TextWorker::pendingChanged, this, [this](int pending) {
        m_pending = pending;
        Q_EMIT pendingChanged();
    });
    connect(worker, &TextWorker::fileRead, this, &TextManager::fileRead);
    connect(worker, &TextWorker::unavailable, this, [this](const QString& reason) {
        m_unavailable = reason;
        Q_EMIT pendingChanged();
    });
    connect(worker, &TextWorker::textReady, this,
            [this](quint64 ticket, const QString& text, const QString& error) {
                const auto request = m_textRequests.take(ticket);
                if (request.first && request.second)
                    request.second(text, error);
            });
    m_thread->start(QThread::LowestPriority);
    updatePause();
    if (m_library->isLibraryLoaded())
        sendLibrary();
}

void TextManager::stopWorker(bool removeIndex)
{
    if (!m_thread)
        return;
    m_stop->store(true);
    // A quit now could end the thread's loop before the removal it was asked for: the worker
    // ends the thread itself once the index is gone.
    if (removeIndex)
        QMetaObject::invokeMethod(m_worker, &TextWorker::removeIndex, Qt::QueuedConnection);
    else
        m_thread->quit();
    if (removeIndex) {
        // The thread ends on its own, the reading it was in stopped within a moment.
        m_removing = m_thread;
        connect(m_thread, &QThread::finished, m_thread, &QObject::deleteLater);
    } else {
        m_thread->wait();
        delete m_thread;
    }
    m_thread = nullptr;
    m_worker = nullptr;
    m_pending = -1;
    for (const auto& request : std::as_const(m_textRequests)) {
        if (request.first && request.second)
            request.second({}, QStringLiteral("text recognition is off"));
    }
    m_textRequests.clear();
    Q_EMIT pendingChanged();
}

void TextManager::setEnabled(bool enabled)
{
    if (enabled == m_enabled)
        return;
    m_enabled = enabled;
    openSettings()->setValue(settings::kTextRecognition, enabled);
    if (enabled) {
        startWorker();
    } else {
        stopWorker(true);
    }
    Q_EMIT enabledChanged();
}

void TextManager::setLanguage(const QString& language)
{
    if (language == m_language || !text::installedLanguages().contains(language))
        return;
    m_language = language;
    openSettings()->setValue(settings::kTextLanguage, language);
    if (m_enabled) {
        // The new worker's index, in another language, starts empty and reads everything.
        stopWorker(false);
        startWorker();
    }
}

void TextManager::sendLibrary()
{
    if (!m_worker)
        return;
    QList<LibraryFile> files;
    for (const ScreenshotItemPtr& item : m_library->screenshots()) {
        if (item->filePath)
            files.append({*item->filePath, item->date});
    }
    QMetaObject::invokeMethod(m_worker, "setLibrary", Qt::QueuedConnection,
                              Q_ARG(QList<glimra::text::LibraryFile>, files));
}

void TextManager::hold()
{
    m_holding = true;
    m_quiet.start();
    updatePause();
}

void TextManager::captureStarted()
{
    ++m_capturing;
    hold();
}

void TextManager::setOnBattery(bool onBattery)
{
    m_onBattery = onBattery;
    updatePause();
}

void TextManager::updatePause()
{
    const bool paused = m_holding || m_capturing > 0 || m_onBattery ||
                        m_library->isLoadingServer() || m_library->isDownloadingMissing();
    if (paused == m_paused->exchange(paused))
        return;
    m_helper->pause(paused);
    if (paused || !m_worker)
        return;
    QMetaObject::invokeMethod(m_worker, &TextWorker::resume, Qt::QueuedConnection);
}

void TextManager::search(const QString& query, QObject* context, SearchDone done, bool withMarks)
{
    if (!m_enabled) {
        QMetaObject::invokeMethod(
            context, [done] { done({}); }, Qt::QueuedConnection);
        return;
    }
    runInBackground(
        &m_searchPool, context,
        [query, withMarks] {
            const text::TextIndex index(text::TextIndex::defaultPath());
            return index.search(query, withMarks);
        },
        std::move(done));
}

void TextManager::textOf(const QString& path, QObject* context, TextDone done)
{
    if (!m_worker) {
        QMetaObject::invokeMethod(
            context, [done] { done({}, QStringLiteral("text recognition is off")); },
            Qt::QueuedConnection);
        return;
    }
    const quint64 ticket = m_nextTicket++;
    m_textRequests.insert(ticket, {QPointer<QObject>(context), std::move(done)});
    QMetaObject::invokeMethod(m_worker, "readNow", Qt::QueuedConnection, Q_ARG(quint64, ticket),
                              Q_ARG(QString, path));
}

} // namespace glimra
