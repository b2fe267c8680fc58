// SPDX-License-Identifier: GPL-3.0-or-later
#include "ServerProcess.h"

#include <libpq-fe.h>

#include <functional>
#include <stdexcept>

namespace glimra::server::test {

namespace {

const char* clusterDir()
{
    return std::getenv("GLIMRA_TEST_POSTGRES");
}

std::string uriFor(const std::string& database)
{
    return "postgresql://postgres@/" + database + "?host=" + clusterDir();
}

} // namespace

bool onPostgres()
{
    return clusterDir() != nullptr;
}

std::string testDatabaseUrl(const fs::path& dataDir)
{
    // Named after the data folder: a server started again on the folder finds its records.
    const std::string name = "t" + std::to_string(std::hash<std::string>{}(dataDir.string()));
    PGconn* conn = PQconnectdb(uriFor("postgres").c_str());
    if (PQstatus(conn) != CONNECTION_OK) {
        const std::string message = PQerrorMessage(conn);
        PQfinish(conn);
        throw std::runtime_error("test PostgreSQL: " + message);
    }
    PGresult* result = PQexec(conn, ("CREATE DATABASE " + name).c_str());
    const char* state = PQresultErrorField(result, PG_DIAG_SQLSTATE);
    const bool made = PQresultStatus(result) == PGRES_COMMAND_OK;
    const bool existed = state && std::string_view(state) == "42P04";
    const std::string message = PQerrorMessage(conn);
    PQclear(result);
    PQfinish(conn);
    if (!made && !existed)
        throw std::runtime_error("test PostgreSQL: " + message);
    return uriFor(name);
}

} // namespace glimra::server::test
