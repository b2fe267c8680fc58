// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

struct sqlite3;

namespace glimra::server {

struct DatabaseError : std::runtime_error {
    DatabaseError(const std::string& what, int rc = 0, std::string state = {})
        : std::runtime_error(what), code(rc), sqlState(std::move(state))
    {}
    int code;             // SQLite's primary result code
    std::string sqlState; // PostgreSQL's SQLSTATE
};

// One prepared statement of either engine; Statement below is what callers hold.
class StatementImpl {
public:
    virtual ~StatementImpl() = default;
    virtual void bindInteger(int index, std::int64_t value) = 0;
    virtual void bindText(int index, std::string_view value) = 0;
    virtual void bindNull(int index) = 0;
    virtual bool step() = 0;
    virtual int changes() const = 0;
    virtual std::int64_t integer(int column) const = 0;
    virtual std::string text(int column) const = 0;
    virtual bool isNull(int column) const = 0;
};

class Statement {
public:
    explicit Statement(std::unique_ptr<StatementImpl> impl) : m_impl(std::move(impl)) {}

    // Binds in order, starting at the first parameter.
    template <typename... Args> Statement& bind(const Args&... args)
    {
        [[maybe_unused]] int index = 0;
        (bindOne(++index, args), ...);
        return *this;
    }

    // True while there is a row to read.
    bool step() { return m_impl->step(); }
    // Runs a statement that returns no rows; how many rows it changed.
    int run()
    {
        while (step()) {
        }
        return m_impl->changes();
    }

    std::int64_t integer(int column) const { return m_impl->integer(column); }
    std::string text(int column) const { return m_impl->text(column); }
    bool isNull(int column) const { return m_impl->isNull(column); }

private:
    void bindOne(int index, std::int64_t value) { m_impl->bindInteger(index, value); }
    void bindOne(int index, int value) { m_impl->bindInteger(index, value); }
    void bindOne(int index, std::string_view value) { m_impl->bindText(index, value); }
    void bindOne(int index, const std::string& value) { m_impl->bindText(index, value); }
    void bindOne(int index, const char* value) { m_impl->bindText(index, value); }
    void bindOne(int index, std::nullopt_t) { m_impl->bindNull(index); }
    void bindOne(int index, const std::optional<std::int64_t>& value)
    {
        value ? bindOne(index, *value) : bindOne(index, std::nullopt);
    }

    std::unique_ptr<StatementImpl> m_impl;
};

// One connection to SQLite or PostgreSQL. Statements use `?` for parameters in both. Every
// failure throws DatabaseError, so callers never act on a half-done step by mistake.
class Database {
public:
    virtual ~Database() = default;
    virtual void exec(const char* sql) = 0;
    virtual Statement prepare(std::string_view sql) = 0;
    // Starts a transaction that will write: SQLite takes its write lock at once, so a
    // transaction that reads and then writes cannot fail half way with a busy error.
    virtual void begin() = 0;
    // Called when a connection goes back to its pool: makes it fit for the next user.
    virtual void recover() {}
};

class SqliteDatabase final : public Database {
public:
    explicit SqliteDatabase(const std::string& path);
    ~SqliteDatabase() override;
    SqliteDatabase(const SqliteDatabase&) = delete;
    SqliteDatabase& operator=(const SqliteDatabase&) = delete;

    void exec(const char* sql) override;
    Statement prepare(std::string_view sql) override;
    void begin() override { exec("BEGIN IMMEDIATE"); }

private:
    sqlite3* m_db = nullptr;
};

// Anything not committed is rolled back.
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
