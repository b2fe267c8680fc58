// SPDX-License-Identifier: GPL-3.0-or-later
#include "Migrations.h"

#include "Database.h"

#include <iterator>

namespace glimra::server {

namespace {

// Files in a bucket: each under its own key (none for files in the data folder, whose name
// follows from the row); uploads between their PUT and their commit; objects whose rows are
// gone, to remove. The last two are how a crash at any point leaves nothing unaccounted for.
constexpr const char* kObjectSteps = R"(
    ALTER TABLE blobs ADD COLUMN object_key TEXT;
    CREATE TABLE pending_uploads (object_key TEXT PRIMARY KEY, started_at BIGINT NOT NULL);
    CREATE TABLE tombstones (object_key TEXT PRIMARY KEY, since BIGINT NOT NULL);
    )";

// SQLite counts its steps in PRAGMA user_version, inside the step's own transaction.
constexpr const char* kSqliteSteps[] = {
    R"(
    CREATE TABLE users (
        id INTEGER PRIMARY KEY AUTOINCREMENT,
        username TEXT NOT NULL,
        username_key TEXT NOT NULL UNIQUE,
        email TEXT NOT NULL,
        password_hash TEXT NOT NULL,
        created_at TEXT NOT NULL);
    CREATE TABLE sessions (
        token_digest TEXT PRIMARY KEY,
        user_id INTEGER NOT NULL REFERENCES users(id) ON DELETE CASCADE,
        expires_at INTEGER NOT NULL);
    CREATE INDEX sessions_expiry ON sessions(expires_at);
    CREATE TABLE blobs (
        user_id INTEGER NOT NULL REFERENCES users(id),
        sha256 TEXT NOT NULL,
        ext TEXT NOT NULL,
        size INTEGER NOT NULL,
        PRIMARY KEY (user_id, sha256));
    -- AUTOINCREMENT: an id a client still holds never comes to name another upload.
    CREATE TABLE screenshots (
        id INTEGER PRIMARY KEY AUTOINCREMENT,
        user_id INTEGER NOT NULL,
        sha256 TEXT NOT NULL,
        original_filename TEXT NOT NULL,
        capture_type TEXT NOT NULL,
        uploaded_at TEXT NOT NULL,
        FOREIGN KEY (user_id, sha256) REFERENCES blobs(user_id, sha256));
    CREATE INDEX screenshots_by_user ON screenshots(user_id, id);
    CREATE INDEX screenshots_by_blob ON screenshots(user_id, sha256);
    )",
    // A link goes with its screenshot, however that is removed.
    R"(
    CREATE TABLE shares (
        id TEXT PRIMARY KEY,
        screenshot_id INTEGER NOT NULL REFERENCES screenshots(id) ON DELETE CASCADE,
        user_id INTEGER NOT NULL,
        created_at INTEGER NOT NULL,
        expires_at INTEGER);
    CREATE INDEX shares_by_user ON shares(user_id, screenshot_id);
    CREATE INDEX shares_by_screenshot ON shares(screenshot_id);
    )",
    kObjectSteps,
};

// PostgreSQL starts at today's schema; later steps follow it here.
constexpr const char* kPostgresSteps[] = {
    R"(
    CREATE TABLE users (
        id BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
        username TEXT NOT NULL,
        username_key TEXT NOT NULL UNIQUE,
        email TEXT NOT NULL,
        password_hash TEXT NOT NULL,
        created_at TEXT NOT NULL);
    CREATE TABLE sessions (
        token_digest TEXT PRIMARY KEY,
        user_id BIGINT NOT NULL REFERENCES users(id) ON DELETE CASCADE,
        expires_at BIGINT NOT NULL);
    CREATE INDEX sessions_expiry ON sessions(expires_at);
    CREATE TABLE blobs (
        user_id BIGINT NOT NULL REFERENCES users(id),
        sha256 TEXT NOT NULL,
        ext TEXT NOT NULL,
        size BIGINT NOT NULL,
        PRIMARY KEY (user_id, sha256));
    CREATE TABLE screenshots (
        id BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
        user_id BIGINT NOT NULL,
        sha256 TEXT NOT NULL,
        original_filename TEXT NOT NULL,
        capture_type TEXT NOT NULL,
        uploaded_at TEXT NOT NULL,
        FOREIGN KEY (user_id, sha256) REFERENCES blobs(user_id, sha256));
    CREATE INDEX screenshots_by_user ON screenshots(user_id, id);
    CREATE TABLE shares (
        id TEXT PRIMARY KEY,
        seq BIGINT GENERATED ALWAYS AS IDENTITY,
        screenshot_id BIGINT NOT NULL REFERENCES screenshots(id) ON DELETE CASCADE,
        user_id BIGINT NOT NULL,
        created_at BIGINT NOT NULL,
        expires_at BIGINT);
    CREATE INDEX shares_by_user ON shares(user_id, screenshot_id);
    CREATE INDEX shares_by_screenshot ON shares(screenshot_id);
    -- Failed logins of every server, counted in one place so N servers do not allow N times
    -- the limit.
    CREATE TABLE login_attempts (
        key TEXT PRIMARY KEY,
        window_start BIGINT NOT NULL,
        count INTEGER NOT NULL);
    )",
    kObjectSteps,
    // The addresses each name's owner signed in from, where a stranger's guesses at the name do
    // not lock the owner out. Kept where every server sees them: the owner's next sign-in may
    // reach another server than the last.
    R"(
    -- Ordered by a sequence, not a time: sign-ins come faster than a clock's seconds.
    CREATE SEQUENCE known_addresses_seen;
    CREATE TABLE known_addresses (
        username_key TEXT NOT NULL,
        address TEXT NOT NULL,
        seen BIGINT NOT NULL DEFAULT nextval('known_addresses_seen'),
        PRIMARY KEY (username_key, address));
    )",
    // Deleting a record asks whether it was its file's last, which without this reads every
    // screenshot of the account; the first step had it for SQLite only.
    "CREATE INDEX IF NOT EXISTS screenshots_by_blob ON screenshots(user_id, sha256);",
};

// Any number: it only has to differ from other advisory locks the database's users take.
constexpr const char* kMigrationLock = "SELECT pg_advisory_lock(4711230301)";
constexpr const char* kMigrationUnlock = "SELECT pg_advisory_unlock(4711230301)";

std::int64_t scalar(Database& db, const char* sql)
{
    auto row = db.prepare(sql);
    return row.step() ? row.integer(0) : 0;
}

} // namespace

void migrateSqlite(Database& db)
{
    for (std::size_t step = 0; step < std::size(kSqliteSteps); ++step) {
        Transaction tx(db);
        // Read inside the write transaction: another process may have just done this step.
        if (scalar(db, "PRAGMA user_version") <= static_cast<std::int64_t>(step)) {
            db.exec(kSqliteSteps[step]);
            db.exec(("PRAGMA user_version = " + std::to_string(step + 1)).c_str());
        }
        tx.commit();
    }
}

void migratePostgres(Database& db)
{
    // Held by this connection until released: servers starting together take turns, and the
    // later ones find the steps done.
    db.exec(kMigrationLock);
    try {
        db.exec("CREATE TABLE IF NOT EXISTS schema_migrations (version INTEGER PRIMARY KEY, "
                "applied_at TIMESTAMPTZ NOT NULL DEFAULT now())");
        const std::int64_t done =
            scalar(db, "SELECT COALESCE(MAX(version), 0) FROM schema_migrations");
        for (std::size_t step = static_cast<std::size_t>(done); step < std::size(kPostgresSteps);
             ++step) {
            Transaction tx(db);
            db.exec(kPostgresSteps[step]);
            db.prepare("INSERT INTO schema_migrations (version) VALUES (?)")
                .bind(static_cast<std::int64_t>(step + 1))
                .run();
            tx.commit();
        }
    } catch (...) {
        db.recover();
        db.exec(kMigrationUnlock);
        throw;
    }
    db.exec(kMigrationUnlock);
}

} // namespace glimra::server
