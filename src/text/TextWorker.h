// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "text/TextIndex.h"
#include "text/TextReaderProcess.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>

#include <atomic>
#include <deque>
#include <memory>

namespace glimra::text {

// One screenshot of the library as the reading pass sees it.
struct LibraryFile {
    QString path;
    QDateTime date;
};

// Reads the library's text into the index, newest first, one picture at a time, on a thread
// of its own (everything here blocks). Between two pictures it takes the queued requests:
// a new listing of the library, a picture wanted now, a pause.
class TextWorker final : public QObject {
    Q_OBJECT

public:
    struct Options {
        QString indexPath;
        QString readerProgram;
        QString language;
        TextReaderProcess::Limits limits;
        std::shared_ptr<HelperHandle> helper; // may be null
    };

    // stop is set by the owner to end a read in progress when it shuts the thread down.
    TextWorker(Options options, std::shared_ptr<std::atomic<bool>> stop,
               std::shared_ptr<std::atomic<bool>> paused);
    ~TextWorker() override;

    // Queued from the owner's thread.
    Q_INVOKABLE void setLibrary(const QList<glimra::text::LibraryFile>& files);
    Q_INVOKABLE void resume();
    Q_INVOKABLE void readNow(quint64 ticket, const QString& path);
    // Closes the index and deletes it: recognition was turned off.
    Q_INVOKABLE void removeIndex();

Q_SIGNALS:
    void pendingChanged(int pending);
    void fileRead(const QString& path);
    // The text of a readNow; error says why there is none.
    void textReady(quint64 ticket, const QString& text, const QString& error);
    // The helper cannot run at all (not installed, language data missing): nothing is marked.
    void unavailable(const QString& reason);
    void indexRemoved();

private:
    void step();
    void scheduleStep();
    // Reads path and stores the outcome under key; false when nothing could be stored.
    std::optional<IndexedText> readAndStore(const QString& path, const FileKey& key,
                                            QString* error);
    bool ensureIndex();

    Options m_options;
    std::shared_ptr<std::atomic<bool>> m_stop;
    std::shared_ptr<std::atomic<bool>> m_paused;
    std::unique_ptr<TextIndex> m_index;
    std::unique_ptr<TextReaderProcess> m_reader;
    std::deque<std::pair<QString, FileKey>> m_queue;
    bool m_stepQueued = false;
    bool m_unavailable = false;
};

// The index's key of the file at path, from the file system; nothing when it is gone.
std::optional<FileKey> keyOf(const QString& path);

} // namespace glimra::text

Q_DECLARE_METATYPE(glimra::text::LibraryFile)
