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

class SqliteStatement final : public StatementImpl {
public:
    SqliteStatement(sqlite3* db, std::string_view sql) : m_db(db)
    {
        const int rc =
            sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &m_stmt, nullptr);
        if (rc != SQLITE_OK)
            fail(db, rc);
    }
    ~SqliteStatement() override { sqlite3_finalize(m_stmt); }
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    void bindInteger(int index, std::int64_t value) override
    {
        check(sqlite3_bind_int64(m_stmt, index, value));
    }
    void bindText(int index, std::string_view value) override
    {
        check(sqlite3_bind_text64(m_stmt, index, value.data(), value.size(), SQLITE_TRANSIENT,
                                  SQLITE_UTF8));
    }
    void bindNull(int index) override { check(sqlite3_bind_null(m_stmt, index)); }

    bool step() override
    {
        const int rc = sqlite3_step(m_stmt);
        if (rc == SQLITE_ROW)
            return true;
        if (rc == SQLITE_DONE)
            return false;
        fail(m_db, rc);
    }
    int changes() const override { return sqlite3_changes(m_db); }
    std::int64_t integer(int column) const override { return sqlite3_column_int64(m_stmt, column); }
    std::string text(int column) const override
    {
        const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
        return data ? std::string(data,
                                  static_cast<std::size_t>(sqlite3_column_bytes(m_stmt, column)))
                    : std::string();
    }
    bool isNull(int column) const override
    {
        return sqlite3_column_type(m_stmt, column) == SQLITE_NULL;
    }

private:
    void check(int rc) const
    {
        if (rc != SQLITE_OK)
            fail(m_db, rc);
    }

    sqlite3* m_db;
    sqlite3_stmt* m_stmt = nullptr;
};

} // namespace

SqliteDatabase::SqliteDatabase(const std::string& path)
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

SqliteDatabase::~SqliteDatabase()
{
    sqlite3_close_v2(m_db);
}

void SqliteDatabase::exec(const char* sql)
{
    char* message = nullptr;
    if (const int rc = sqlite3_exec(m_db, sql, nullptr, nullptr, &message); rc != SQLITE_OK) {
        const std::string text = message ? message : "unknown error";
        sqlite3_free(message);
        throw DatabaseError("SQLite: " + text, rc & 0xFF);
    }
}

Statement SqliteDatabase::prepare(std::string_view sql)
{
    return Statement(std::make_unique<SqliteStatement>(m_db, sql));
}

Transaction::Transaction(Database& db) : m_db(db)
{
    m_db.begin();
}

Transaction::~Transaction()
{
    if (!m_done) {
        try {
            m_db.exec("ROLLBACK");
        } catch (const DatabaseError&) {
            // The engine has already rolled back when the failure that brought us here was fatal.
        }
    }
}

void Transaction::commit()
{
    m_db.exec("COMMIT");
    m_done = true;
}

} // namespace glimra::server
