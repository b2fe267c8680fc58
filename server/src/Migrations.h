// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace glimra::server {

class Database;

// Bring a database to this build's schema: numbered steps, each applied once, in order. Safe
// to call from several servers starting at once.
void migrateSqlite(Database& db);
void migratePostgres(Database& db);

} // namespace glimra::server
