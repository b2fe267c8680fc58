// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "text/RecognisedText.h"

#include <QHash>
#include <QList>
#include <QRectF>
#include <QSet>
#include <QSize>
#include <QString>

#include <optional>

struct sqlite3;

namespace glimra::text {

// What identifies a screenshot's contents to the index: a changed or renamed file is another
// key and is read again.
struct FileKey {
    QString name;
    qint64 size = 0;
    qint64 modified = 0; // milliseconds since the epoch

    bool operator==(const FileKey&) const = default;
};

struct IndexedText {
    bool readable = false; // false: the file was not a picture the recogniser could read
    QString text;          // reading order, lines as lines
    QList<Word> words;
    QSize size; // of the picture the words were read in
};

struct SearchMatch {
    QString name;
    QString snippet; // the first text line with a match; empty when only the name matched
    // Where the matching words are, as fractions of the picture's width and height.
    QList<QRectF> marks;
};

// The recognised text of the library, in an SQLite file with a full-text index. One object
// per thread: the writer on the reading thread, readers wherever a search runs (the file is
// in write-ahead mode, so reading never waits for the writer).
class TextIndex final {
public:
    // $XDG_CACHE_HOME/Glimra/text.sqlite.
    static QString defaultPath();
    // Deletes the index and its journal files; true when none is left.
    static bool remove(const QString& path);

    explicit TextIndex(const QString& path);
    ~TextIndex();
    TextIndex(const TextIndex&) = delete;
    TextIndex& operator=(const TextIndex&) = delete;

    bool isOpen() const { return m_db != nullptr; }
    QString error() const { return m_error; }

    // The language the texts were read in; a change empties the index, since every text
    // would read differently.
    QString language() const;
    void setLanguage(const QString& language);

    // Every stored name with its size and time, for working out what is still to read.
    QHash<QString, FileKey> keys() const;
    std::optional<IndexedText> lookup(const FileKey& key) const;
    // Replaces whatever was stored under the key's name.
    bool store(const FileKey& key, const IndexedText& text);
    // Forgets every name not in names (deleted or renamed files).
    void keepOnly(const QSet<QString>& names);
    // Entries whose name or text has every word of query as a word or word start, in no
    // particular order. An empty query matches nothing.
    QList<SearchMatch> search(const QString& query, bool withMarks = false) const;

private:
    bool exec(const char* sql);

    sqlite3* m_db = nullptr;
    QString m_error;
};

} // namespace glimra::text
