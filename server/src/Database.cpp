// SPDX-License-Identifier: GPL-3.0-or-later
#include "Database.h"

#include <sqlite3.h>

namespace glimra::server {

namespace {

[[noreturn]] void fail(sqlite3* db, int rc)
{
    throw DatabaseError(std::string("SQLite: ") + (db ? sqlite3_errmsg(db) : sqlite3_errstr(rc)),
                        rc & 0xFF);
}

} // namespace

Database::Database(const std::string& path)
{
    const int rc =
        sqlite3_open_v2(path.c_str(), &m_db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        const std::string message = m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc);
        sqlite3_close(m_db);
        throw DatabaseError("SQLite: cannot open " + path + ": " + message, rc & 0xFF);
    }
    sqlite3_extended_result_codes(m_db, 1);
    // Another connection (a second server thread, or add-user while the server runs) may
    // hold the write lock for a moment.
    sqlite3_busy_timeout(m_db, 10'000);
    exec("PRAGMA foreign_keys = ON");
}

Database::~Database()
{
    sqlite3_close_v2(m_db);
}

void Database::exec(const char* sql)
{
    char* message = nullptr;
    if (const int rc = sqlite3_exec(m_db, sql, nullptr, nullptr, &message); rc != SQLITE_OK) {
        const std::string text = message ? message : "unknown error";
        sqlite3_free(message);
        throw DatabaseError("SQLite: " + text, rc & 0xFF);
    }
}

Statement Database::prepare(std::string_view sql)
{
    return Statement(m_db, sql);
}

std::int64_t Database::lastInsertId() const
{
    return sqlite3_last_insert_rowid(m_db);
}

int Database::changes() const
{
    return sqlite3_changes(m_db);
}

Statement::Statement(sqlite3* db, std::string_view sql) : m_db(db)
{
    const int rc =
        sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &m_stmt, nullptr);
    if (rc != SQLITE_OK)
        fail(db, rc);
}

Statement::~Statement()
{
    sqlite3_finalize(m_stmt);
}

void Statement::check(int rc) const
{
    if (rc != SQLITE_OK)
        fail(m_db, rc);
}

void Statement::bindOne(int index, std::int64_t value)
{
    check(sqlite3_bind_int64(m_stmt, index, value));
}

void Statement::bindOne(int index, std::string_view value)
{
    check(sqlite3_bind_text64(m_stmt, index, value.data(), value.size(), SQLITE_TRANSIENT,
                              SQLITE_UTF8));
}

void Statement::bindOne(int index, std::nullopt_t)
{
    check(sqlite3_bind_null(m_stmt, index));
}

bool Statement::step()
{
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    fail(m_db, rc);
}

void Statement::run()
{
    while (step()) {
    }
}

std::int64_t Statement::integer(int column) const
{
    return sqlite3_column_int64(m_stmt, column);
}

std::string Statement::text(int column) const
{
    const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
    return data ? std::string(data, static_cast<std::size_t>(sqlite3_column_bytes(m_stmt, column)))
                : std::string();
}

bool Statement::isNull(int column) const
{
    return sqlite3_column_type(m_stmt, column) == SQLITE_NULL;
}

Transaction::Transaction(Database& db) : m_db(db)
{
    m_db.exec("BEGIN IMMEDIATE");
}

Transaction::~Transaction()
{
    if (!m_done) {
        try {
            m_db.exec("ROLLBACK");
        } catch (const DatabaseError&) {
            // SQLite has already rolled back when the failure that brought us here was fatal.
        }
    }
}

void Transaction::commit()
{
    m_db.exec("COMMIT");
    m_done = true;
}

} // namespace glimra::server
