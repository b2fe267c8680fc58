// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace glimra::server {

struct DatabaseError : std::runtime_error {
    DatabaseError(const std::string& what, int rc = 0) : std::runtime_error(what), code(rc) {}
    int code; // SQLite's primary result code
};

class Statement;

// One SQLite connection. Every failure throws DatabaseError, so callers never act on a
// half-done step by mistake.
class Database {
public:
    explicit Database(const std::string& path);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    void exec(const char* sql);
    Statement prepare(std::string_view sql);
    std::int64_t lastInsertId() const;
    int changes() const;
    sqlite3* handle() const { return m_db; }

private:
    sqlite3* m_db = nullptr;
};

class Statement {
public:
    Statement(sqlite3* db, std::string_view sql);
    ~Statement();
    Statement(Statement&& other) noexcept : m_db(other.m_db), m_stmt(other.m_stmt)
    {
        other.m_stmt = nullptr;
    }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    Statement& operator=(Statement&&) = delete;

    // Binds in order, starting at the first parameter.
    template <typename... Args> Statement& bind(const Args&... args)
    {
        [[maybe_unused]] int index = 0;
        (bindOne(++index, args), ...);
        return *this;
    }

    // True while there is a row to read.
    bool step();
    // Runs a statement that returns no rows.
    void run();

    std::int64_t integer(int column) const;
    std::string text(int column) const;
    bool isNull(int column) const;

private:
    void bindOne(int index, std::int64_t value);
    void bindOne(int index, int value) { bindOne(index, static_cast<std::int64_t>(value)); }
    void bindOne(int index, std::string_view value);
    void bindOne(int index, const std::string& value) { bindOne(index, std::string_view(value)); }
    void bindOne(int index, const char* value) { bindOne(index, std::string_view(value)); }
    void bindOne(int index, std::nullopt_t);
    void bindOne(int index, const std::optional<std::int64_t>& value)
    {
        value ? bindOne(index, *value) : bindOne(index, std::nullopt);
    }
    void check(int rc) const;

    sqlite3* m_db;
    sqlite3_stmt* m_stmt = nullptr;
};

// BEGIN IMMEDIATE takes the write lock at once, so a transaction that reads and then writes
// cannot fail half way with a busy error; anything not committed is rolled back.
class Transaction {
public:
    explicit Transaction(Database& db);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit();

private:
    Database& m_db;
    bool m_done = false;
};

} // namespace glimra::server
