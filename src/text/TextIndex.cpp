// SPDX-License-Identifier: GPL-3.0-or-later
#include "text/TextIndex.h"

#include "text/TextSearch.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <sqlite3.h>

#include <string>

namespace glimra::text {

namespace {

constexpr int kSchemaVersion = 1;
constexpr char kSchema[] =
    "PRAGMA journal_mode=WAL;"
    "PRAGMA synchronous=NORMAL;"
    "CREATE TABLE IF NOT EXISTS meta(key TEXT PRIMARY KEY, value TEXT);"
    "CREATE TABLE IF NOT EXISTS files(id INTEGER PRIMARY KEY, name TEXT UNIQUE NOT NULL,"
    " size INTEGER NOT NULL, modified INTEGER NOT NULL, readable INTEGER NOT NULL,"
    " text TEXT NOT NULL, words TEXT NOT NULL, width INTEGER, height INTEGER);"
    // The body is already folded by normaliseForSearch; the tokenizer folds the name alike.
    "CREATE VIRTUAL TABLE IF NOT EXISTS search USING fts5(name, body,"
    " tokenize='unicode61 remove_diacritics 2');";

// A prepared statement that finalises itself.
class Statement {
public:
    Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr); }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool ok() const { return m_stmt != nullptr; }
    void bind(int index, const QString& text)
    {
        const QByteArray bytes = text.toUtf8();
        sqlite3_bind_text(m_stmt, index, bytes.constData(), static_cast<int>(bytes.size()),
                          SQLITE_TRANSIENT);
    }
    void bind(int index, qint64 value) { sqlite3_bind_int64(m_stmt, index, value); }
    bool step() { return m_stmt && sqlite3_step(m_stmt) == SQLITE_ROW; }
    bool run() { return m_stmt && sqlite3_step(m_stmt) == SQLITE_DONE; }
    QString text(int column) const
    {
        return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column)),
                                 sqlite3_column_bytes(m_stmt, column));
    }
    qint64 number(int column) const { return sqlite3_column_int64(m_stmt, column); }

private:
    sqlite3_stmt* m_stmt = nullptr;
};

// Names are searched by their parts: "Glimra_2026-01-05" holds the words glimra, 2026, 01, 05.
QString nameForSearch(const QString& name)
{
    return searchTokens(QFileInfo(name).completeBaseName()).join(QLatin1Char(' '));
}

} // namespace

QString TextIndex::defaultPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           QStringLiteral("/Glimra/text.sqlite");
}

bool TextIndex::remove(const QString& path)
{
    bool gone = true;
    for (const QString& suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")}) {
        QFile file(path + suffix);
        if (file.exists() && !file.remove())
            gone = false;
    }
    return gone;
}

TextIndex::TextIndex(const QString& path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (sqlite3_open_v2(path.toUtf8().constData(), &m_db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK) {
        m_error = QString::fromUtf8(sqlite3_errmsg(m_db));
        sqlite3_close(m_db);
        m_db = nullptr;
        return;
    }
    // The writer holds the file only for a moment per picture; a reader may wait that long.
    sqlite3_busy_timeout(m_db, 2000);
    // The index is a cache: one of another layout is read again rather than converted.
    qint64 version = 0;
    {
        Statement query(m_db, "PRAGMA user_version");
        version = query.step() ? query.number(0) : 0;
    }
    if (version != kSchemaVersion) {
        exec("DROP TABLE IF EXISTS files; DROP TABLE IF EXISTS search; DROP TABLE IF EXISTS meta;");
        exec(("PRAGMA user_version=" + std::to_string(kSchemaVersion)).c_str());
    }
    if (!exec(kSchema)) {
        sqlite3_close(m_db);
        m_db = nullptr;
    }
}

TextIndex::~TextIndex()
{
    sqlite3_close(m_db);
}

bool TextIndex::exec(const char* sql)
{
    char* message = nullptr;
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, &message) == SQLITE_OK)
        return true;
    m_error = QString::fromUtf8(message ? message : "database error");
    sqlite3_free(message);
    return false;
}

QString TextIndex::language() const
{
    Statement query(m_db, "SELECT value FROM meta WHERE key='language'");
    return query.step() ? query.text(0) : QString();
}

void TextIndex::setLanguage(const QString& language)
{
    if (!m_db || language == this->language())
        return;
    exec("BEGIN; DELETE FROM files; DELETE FROM search;");
    Statement update(m_db, "INSERT OR REPLACE INTO meta(key, value) VALUES('language', ?)");
    update.bind(1, language);
    update.run();
    exec("COMMIT");
}

QHash<QString, FileKey> TextIndex::keys() const
{
    QHash<QString, FileKey> keys;
    Statement query(m_db, "SELECT name, size, modified FROM files");
    while (query.step()) {
        const QString name = query.text(0);
        keys.insert(name, {name, query.number(1), query.number(2)});
    }
    return keys;
}

std::optional<IndexedText> TextIndex::lookup(const FileKey& key) const
{
    Statement query(m_db, "SELECT readable, text, words, width, height FROM files"
                          " WHERE name=? AND size=? AND modified=?");
    query.bind(1, key.name);
    query.bind(2, key.size);
    query.bind(3, key.modified);
    if (!query.step())
        return std::nullopt;
    return IndexedText{query.number(0) != 0, query.text(1), wordsFromRecord(query.text(2)),
                       QSize(int(query.number(3)), int(query.number(4)))};
}

bool TextIndex::store(const FileKey& key, const IndexedText& text)
{
    if (!m_db || !exec("BEGIN"))
        return false;
    Statement old(m_db, "SELECT id FROM files WHERE name=?");
    old.bind(1, key.name);
    if (old.step()) {
        Statement dropText(m_db, "DELETE FROM search WHERE rowid=?");
        dropText.bind(1, old.number(0));
        dropText.run();
        Statement dropFile(m_db, "DELETE FROM files WHERE id=?");
        dropFile.bind(1, old.number(0));
        dropFile.run();
    }
    Statement file(m_db, "INSERT INTO files(name, size, modified, readable, text, words,"
                         " width, height) VALUES(?, ?, ?, ?, ?, ?, ?, ?)");
    file.bind(1, key.name);
    file.bind(2, key.size);
    file.bind(3, key.modified);
    file.bind(4, qint64(text.readable ? 1 : 0));
    file.bind(5, text.text);
    file.bind(6, wordsToRecord(text.words));
    file.bind(7, qint64(text.size.width()));
    file.bind(8, qint64(text.size.height()));
    Statement body(m_db, "INSERT INTO search(rowid, name, body) VALUES(last_insert_rowid(), ?, ?)");
    body.bind(1, nameForSearch(key.name));
    body.bind(2, normaliseForSearch(text.text));
    if (!file.run() || !body.run()) {
        m_error = QString::fromUtf8(sqlite3_errmsg(m_db));
        exec("ROLLBACK");
        return false;
    }
    return exec("COMMIT");
}

void TextIndex::keepOnly(const QSet<QString>& names)
{
    QList<qint64> gone;
    {
        Statement query(m_db, "SELECT id, name FROM files");
        while (query.step()) {
            if (!names.contains(query.text(1)))
                gone.append(query.number(0));
        }
    }
    if (gone.isEmpty() || !exec("BEGIN"))
        return;
    for (qint64 id : gone) {
        Statement dropText(m_db, "DELETE FROM search WHERE rowid=?");
        dropText.bind(1, id);
        dropText.run();
        Statement dropFile(m_db, "DELETE FROM files WHERE id=?");
        dropFile.bind(1, id);
        dropFile.run();
    }
    exec("COMMIT");
}

QList<SearchMatch> TextIndex::search(const QString& query, bool withMarks) const
{
    const QStringList tokens = searchTokens(query);
    QList<SearchMatch> matches;
    if (tokens.isEmpty() || !m_db)
        return matches;
    // The index's body is the text already folded for search.
    Statement select(m_db, "SELECT f.name, f.text, f.words, f.width, f.height, search.body"
                           " FROM search JOIN files f ON f.id = search.rowid WHERE search MATCH ?");
    select.bind(1, fullTextQuery(tokens));
    while (select.step()) {
        const QString body = select.text(5);
        SearchMatch match{select.text(0), snippetFor(select.text(1), tokens, 80, &body), {}};
        const QSizeF size(qreal(select.number(3)), qreal(select.number(4)));
        if (withMarks && !size.isEmpty()) {
            for (const Word& word : wordsFromRecord(select.text(2))) {
                if (startsWithAny(word.text, tokens))
                    match.marks.append(
                        QRectF(word.box.x() / size.width(), word.box.y() / size.height(),
                               word.box.width() / size.width(), word.box.height() / size.height()));
            }
        }
        matches.append(match);
    }
    return matches;
}

} // namespace glimra::text
