// SPDX-License-Identifier: GPL-3.0-or-later
#include "text/TextWorker.h"

#include <QFileInfo>
#include <QTimer>

namespace glimra::text {

std::optional<FileKey> keyOf(const QString& path)
{
    const QFileInfo info(path);
    if (!info.isFile())
        return std::nullopt;
    return FileKey{info.fileName(), info.size(), info.lastModified().toMSecsSinceEpoch()};
}

TextWorker::TextWorker(Options options, std::shared_ptr<std::atomic<bool>> stop,
                       std::shared_ptr<std::atomic<bool>> paused)
    : m_options(std::move(options)), m_stop(std::move(stop)), m_paused(std::move(paused))
{}

TextWorker::~TextWorker() = default;

bool TextWorker::ensureIndex()
{
    if (!m_index) {
        m_index = std::make_unique<TextIndex>(m_options.indexPath);
        if (m_index->isOpen())
            m_index->setLanguage(m_options.language);
    }
    return m_index->isOpen();
}

void TextWorker::setLibrary(const QList<LibraryFile>& files)
{
    if (!ensureIndex())
        return Q_EMIT unavailable(m_index->error());
    const QHash<QString, FileKey> stored = m_index->keys();
    QSet<QString> names;
    m_queue.clear();
    // Newest first: the screenshot just taken is the one most likely looked for.
    QList<LibraryFile> ordered = files;
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const LibraryFile& a, const LibraryFile& b) { return a.date > b.date; });
    for (const LibraryFile& file : ordered) {
        const std::optional<FileKey> key = keyOf(file.path);
        if (!key)
            continue;
        names.insert(key->name);
        if (stored.value(key->name) != *key)
            m_queue.emplace_back(file.path, *key);
    }
    m_index->keepOnly(names);
    Q_EMIT pendingChanged(static_cast<int>(m_queue.size()));
    scheduleStep();
}

void TextWorker::resume()
{
    scheduleStep();
}

void TextWorker::scheduleStep()
{
    if (m_stepQueued)
        return;
    m_stepQueued = true;
    QTimer::singleShot(0, this, [this] {
        m_stepQueued = false;
        step();
    });
}

void TextWorker::step()
{
    if (m_queue.empty() || m_paused->load() || m_stop->load() || m_unavailable)
        return;
    const auto [path, key] = m_queue.front();
    QString error;
    const std::optional<FileKey> now = keyOf(path);
    if (now && *now == key && !readAndStore(path, key, &error))
        return; // stopped, or the helper cannot run: the file stays queued
    m_queue.pop_front();
    Q_EMIT pendingChanged(static_cast<int>(m_queue.size()));
    Q_EMIT fileRead(path);
    scheduleStep();
}

std::optional<IndexedText> TextWorker::readAndStore(const QString& path, const FileKey& key,
                                                    QString* error)
{
    if (!ensureIndex()) {
        *error = m_index->error();
        return std::nullopt;
    }
    if (!m_reader) {
        m_reader = std::make_unique<TextReaderProcess>(m_options.readerProgram, m_options.language,
                                                       m_stop.get(), m_options.limits,
                                                       m_options.helper.get());
    }
    const ReadResult result = m_reader->read(path);
    if (result.status == ReadResult::Stopped)
        return std::nullopt;
    if (result.status == ReadResult::Unavailable) {
        m_unavailable = true;
        *error = result.reason;
        Q_EMIT unavailable(result.reason);
        return std::nullopt;
    }
    // An unreadable file is stored too, so that it is not tried again until it changes.
    IndexedText text{result.status == ReadResult::Read, readingText(result.words), result.words,
                     result.size};
    m_index->store(key, text);
    if (!text.readable)
        *error = result.reason;
    return text;
}

void TextWorker::readNow(quint64 ticket, const QString& path)
{
    const std::optional<FileKey> key = keyOf(path);
    if (!key)
        return Q_EMIT textReady(ticket, {}, QStringLiteral("no such file"));
    if (!ensureIndex())
        return Q_EMIT textReady(ticket, {}, m_index->error());
    std::optional<IndexedText> text = m_index->lookup(*key);
    QString error;
    if (!text) {
        text = readAndStore(path, *key, &error);
        if (text && !m_queue.empty()) {
            std::erase_if(m_queue, [&](const auto& queued) { return queued.first == path; });
            Q_EMIT pendingChanged(static_cast<int>(m_queue.size()));
        }
    }
    if (!text)
        return Q_EMIT textReady(ticket, {}, error.isEmpty() ? QStringLiteral("stopped") : error);
    if (!text->readable)
        return Q_EMIT textReady(ticket, {},
                                error.isEmpty() ? QStringLiteral("not a readable picture") : error);
    Q_EMIT textReady(ticket, text->text, {});
}

void TextWorker::removeIndex()
{
    m_reader.reset();
    m_index.reset();
    m_queue.clear();
    TextIndex::remove(m_options.indexPath);
    Q_EMIT indexRemoved();
}

} // namespace glimra::text
