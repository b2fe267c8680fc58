// SPDX-License-Identifier: GPL-3.0-or-later
#include "Postgres.h"

#include <libpq-fe.h>

#include <charconv>
#include <vector>

namespace glimra::server {

namespace {

// Takes the result; throws with PostgreSQL's message and SQLSTATE unless it succeeded.
PGresult* checked(PGconn* conn, PGresult* result)
{
    const ExecStatusType status = result ? PQresultStatus(result) : PGRES_FATAL_ERROR;
    if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK)
        return result;
    const char* field = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    const std::string state = field ? field : ""; // read before the result is freed
    std::string message = result ? PQresultErrorMessage(result) : PQerrorMessage(conn);
    while (!message.empty() && message.back() == '\n')
        message.pop_back();
    PQclear(result);
    throw DatabaseError("PostgreSQL: " + message, 0, state);
}

class PgStatement final : public StatementImpl {
public:
    PgStatement(PGconn* conn, std::string name) : m_conn(conn), m_name(std::move(name)) {}
    ~PgStatement() override { PQclear(m_result); }
    PgStatement(const PgStatement&) = delete;
    PgStatement& operator=(const PgStatement&) = delete;

    void bindInteger(int index, std::int64_t value) override
    {
        slot(index) = std::to_string(value);
    }
    void bindText(int index, std::string_view value) override { slot(index) = std::string(value); }
    void bindNull(int index) override { slot(index).reset(); }

    bool step() override
    {
        if (!m_result) {
            std::vector<const char*> values;
            for (const auto& p : m_params)
                values.push_back(p ? p->c_str() : nullptr);
            m_result = checked(m_conn, PQexecPrepared(m_conn, m_name.c_str(),
                                                      static_cast<int>(values.size()),
                                                      values.data(), nullptr, nullptr, 0));
            m_row = -1;
        }
        return ++m_row < PQntuples(m_result);
    }
    int changes() const override
    {
        int n = 0;
        const char* text = m_result ? PQcmdTuples(m_result) : "";
        std::from_chars(text, text + std::char_traits<char>::length(text), n);
        return n;
    }
    std::int64_t integer(int column) const override
    {
        const char* text = PQgetvalue(m_result, m_row, column);
        std::int64_t value = 0;
        std::from_chars(text, text + PQgetlength(m_result, m_row, column), value);
        return value;
    }
    std::string text(int column) const override
    {
        return std::string(PQgetvalue(m_result, m_row, column),
                           static_cast<std::size_t>(PQgetlength(m_result, m_row, column)));
    }
    bool isNull(int column) const override { return PQgetisnull(m_result, m_row, column) == 1; }

private:
    std::optional<std::string>& slot(int index)
    {
        if (m_params.size() < static_cast<std::size_t>(index))
            m_params.resize(static_cast<std::size_t>(index));
        return m_params[static_cast<std::size_t>(index - 1)];
    }

    PGconn* m_conn;
    std::string m_name;
    std::vector<std::optional<std::string>> m_params;
    PGresult* m_result = nullptr;
    int m_row = -1;
};

} // namespace

std::string numberedPlaceholders(std::string_view sql)
{
    std::string out;
    int next = 0;
    char quote = 0;
    for (const char c : sql) {
        if (quote) {
            quote = c == quote ? 0 : quote;
        } else if (c == '\'' || c == '"') {
            quote = c;
        } else if (c == '?') {
            out += '$' + std::to_string(++next);
            continue;
        }
        out += c;
    }
    return out;
}

PgDatabase::PgDatabase(const std::string& uri) : m_conn(PQconnectdb(uri.c_str()))
{
    if (PQstatus(m_conn) != CONNECTION_OK) {
        std::string message = PQerrorMessage(m_conn);
        while (!message.empty() && message.back() == '\n')
            message.pop_back();
        PQfinish(m_conn);
        throw DatabaseError("PostgreSQL: cannot connect: " + message);
    }
    // Notices (e.g. "table already exists, skipping") are not for the server's log.
    PQsetNoticeProcessor(
        m_conn, [](void*, const char*) {}, nullptr);
}

PgDatabase::~PgDatabase()
{
    PQfinish(m_conn);
}

void PgDatabase::exec(const char* sql)
{
    PQclear(checked(m_conn, PQexec(m_conn, sql)));
}

Statement PgDatabase::prepare(std::string_view sql)
{
    auto found = m_prepared.find(std::string(sql));
    if (found == m_prepared.end()) {
        const std::string name = "s" + std::to_string(m_prepared.size());
        PQclear(checked(m_conn, PQprepare(m_conn, name.c_str(), numberedPlaceholders(sql).c_str(),
                                          0, nullptr)));
        found = m_prepared.emplace(std::string(sql), name).first;
    }
    return Statement(std::make_unique<PgStatement>(m_conn, found->second));
}

void PgDatabase::recover()
{
    if (PQstatus(m_conn) == CONNECTION_OK) {
        // A failed statement inside a transaction leaves it aborted until rolled back.
        if (PQtransactionStatus(m_conn) == PQTRANS_INERROR)
            PQclear(PQexec(m_conn, "ROLLBACK"));
        return;
    }
    PQreset(m_conn);
    m_prepared.clear();
}

} // namespace glimra::server
