// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Database.h"

#include <string>
#include <unordered_map>

struct pg_conn;

namespace glimra::server {

// One libpq connection. Statements are prepared once per connection and kept; parameters
// and results travel as text.
class PgDatabase final : public Database {
public:
    // `uri`: a libpq connection URI, postgresql://USER@HOST:PORT/DB.
    explicit PgDatabase(const std::string& uri);
    ~PgDatabase() override;
    PgDatabase(const PgDatabase&) = delete;
    PgDatabase& operator=(const PgDatabase&) = delete;

    void exec(const char* sql) override;
    Statement prepare(std::string_view sql) override;
    void begin() override { exec("BEGIN"); }

    // After a failure: reconnects when the connection itself was lost (a restarted server),
    // so the next request finds a working one.
    void recover() override;

private:
    pg_conn* m_conn = nullptr;
    std::unordered_map<std::string, std::string> m_prepared; // SQL -> statement name
};

// `?` placeholders as PostgreSQL's `$1`, `$2`...; quoted text is left alone.
std::string numberedPlaceholders(std::string_view sql);

} // namespace glimra::server
