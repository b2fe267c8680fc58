// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "text/TextIndex.h"
#include "text/TextWorker.h"

#include <QObject>
#include <QPointer>
#include <QThreadPool>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>

class QThread;

namespace glimra {

class ScreenshotManager;

// Reads the text in the library's screenshots so that they can be found by it, on this
// machine only: a reading pass in the background (TextWorker, on a thread of its own, through
// the glimra-text-reader helper), paused while the library is busy or the machine runs on
// battery, and the searches of the index, off the GUI thread.
class TextManager final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TextManager)

public:
    // How long the library must be quiet (no capture, import or sync change) before reading
    // goes on.
    static constexpr int kQuietMs = 3000;

    explicit TextManager(ScreenshotManager* library, QObject* parent = nullptr);
    ~TextManager() override;

    // The switch "Recognise text in screenshots"; off stops reading and removes the index.
    bool isEnabled() const { return m_enabled; }
    void setEnabled(bool enabled);
    QString language() const { return m_language; }
    void setLanguage(const QString& language);
    // Screenshots not yet read; 0 when all are read or recognition is off.
    int pending() const;
    // Why recognition cannot run (the helper or its language data is missing); empty if it can.
    QString unavailableReason() const { return m_unavailable; }

    // Something is happening in the library: reading waits until it has been quiet a while.
    void hold();
    // A capture began; reading waits until it has ended (captureFinished) and a while more.
    void captureStarted();
    void setOnBattery(bool onBattery);
    bool isPaused() const { return m_paused->load(); }

    using SearchDone = std::function<void(const QList<text::SearchMatch>&)>;
    // Matches of query in the index, handed to done on this thread; nothing when off. Marks
    // (where the words are) cost time, and only a view needs them.
    void search(const QString& query, QObject* context, SearchDone done, bool withMarks = false);
    using TextDone = std::function<void(const QString& text, const QString& error)>;
    // The text of the picture at path, read at once when it has not been read yet.
    void textOf(const QString& path, QObject* context, TextDone done);

    // The reader helper, beside the instance (a build folder, or libexec/glimra).
    static QString readerProgram();

Q_SIGNALS:
    void pendingChanged();
    void enabledChanged();
    void fileRead(const QString& path);

private:
    void startWorker();
    void stopWorker(bool removeIndex);
    void sendLibrary();
    void updatePause();

    ScreenshotManager* m_library;
    bool m_enabled = true;
    QString m_language;
    // Until the reader has counted the library, every screenshot counts as unread; a new one
    // counts at once, before the reader hears of it.
    int m_pending = -1;
    QString m_unavailable;
    bool m_onBattery = false;
    bool m_holding = false;
    int m_capturing = 0; // captures begun and not finished
    QThread* m_thread = nullptr;
    QPointer<QThread> m_removing; // still deleting the index of the reading turned off
    QPointer<text::TextWorker> m_worker;
    std::shared_ptr<std::atomic<bool>> m_stop;
    std::shared_ptr<std::atomic<bool>> m_paused = std::make_shared<std::atomic<bool>>(false);
    std::shared_ptr<text::HelperHandle> m_helper = std::make_shared<text::HelperHandle>();
    QTimer m_quiet;
    QTimer m_listing;
    QThreadPool m_searchPool;
    quint64 m_nextTicket = 1;
    QHash<quint64, std::pair<QPointer<QObject>, TextDone>> m_textRequests;
};

} // namespace glimra
