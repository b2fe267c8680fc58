// SPDX-License-Identifier: GPL-3.0-or-later
#include "Store.h"

#include "FaultPoint.h"
#include "Migrations.h"
#include "ObjectStore.h"
#include "Postgres.h"
#include "StoreQueries.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <ctime>
#include <iostream>
#include <system_error>

namespace glimra::server {

namespace {

constexpr int kReaders = 4;
// Requests wait for one of these; PostgreSQL does the rest of the queueing.
constexpr int kPostgresConnections = 8;
void configure(Database& db)
{
    db.exec("PRAGMA journal_mode = WAL");
    // Every commit reaches the disk before the client is told its screenshot is stored.
    db.exec("PRAGMA synchronous = FULL");
}

} // namespace

Store::Store(const fs::path& dataDir, bool create, const std::string& databaseUrl,
             std::unique_ptr<ObjectStore> objects)
    : m_data(dataDir), m_tmp(dataDir / "tmp"), m_blobs(dataDir / "blobs"),
      m_postgres(!databaseUrl.empty()), m_objects(std::move(objects))
{
    const std::string dbPath = (m_data / "glimra.db").string();
    // With PostgreSQL the records live elsewhere; the folder's own state tells what it is.
    const bool fresh = m_postgres ? !fs::exists(m_blobs) : !fs::exists(dbPath);
    if (fresh && !create && !m_postgres)
        throw std::runtime_error("no Glimra data in " + m_data.string());
    if (create) {
        // Only a folder made here is narrowed to its owner; an existing one keeps what the
        // administrator gave it.
        if (fs::create_directories(m_data))
            fs::permissions(m_data, fs::perms::owner_all, fs::perm_options::replace);
        ensureDirectory(m_tmp);
        // An existing store without blobs/ is most likely a disk that is not mounted: the
        // check refuses it rather than starting empty.
        if (fresh)
            ensureDirectory(m_blobs);
    }
    if (m_postgres) {
        auto first = std::make_unique<PgDatabase>(databaseUrl);
        migratePostgres(*first);
        m_pool.push_back(std::move(first));
        for (int i = 1; i < kPostgresConnections; ++i)
            m_pool.push_back(std::make_unique<PgDatabase>(databaseUrl));
        return;
    }
    m_writer = std::make_unique<SqliteDatabase>(dbPath);
    configure(*m_writer);
    migrateSqlite(*m_writer);
    for (int i = 0; i < kReaders; ++i) {
        m_pool.push_back(std::make_unique<SqliteDatabase>(dbPath));
        configure(*m_pool.back());
    }
}

Store::~Store() = default;

Store::Lease Store::reader()
{
    std::unique_lock lock(m_poolMutex);
    m_poolFree.wait(lock, [this] { return !m_pool.empty(); });
    auto db = std::move(m_pool.back());
    m_pool.pop_back();
    return Lease(*this, std::move(db));
}

Store::Lease Store::writer()
{
    if (m_postgres)
        return reader();
    return Lease(*this, *m_writer, std::unique_lock(m_writeMutex));
}

void Store::lockUser(Database& db, std::int64_t userId)
{
    // SQLite's writer already works alone.
    if (m_postgres)
        db.prepare("SELECT 1 FROM users WHERE id = ? FOR UPDATE").bind(userId).run();
}

fs::path Store::blobPath(std::int64_t userId, std::string_view sha256, std::string_view ext) const
{
    return m_blobs / std::to_string(userId) / (std::string(sha256) + "." + std::string(ext));
}

std::optional<std::int64_t> Store::createUser(std::string_view name, std::string_view email,
                                              const std::string& passwordHash)
{
    auto db = writer();
    Transaction tx(*db);
    // Another server may take the name at the same moment: the unique key decides.
    const auto id = returnedId(*db,
                               "INSERT INTO users (username, username_key, email, password_hash, "
                               "created_at) VALUES (?, ?, ?, ?, ?) "
                               "ON CONFLICT (username_key) DO NOTHING RETURNING id",
                               name, usernameKey(name), email, passwordHash, utcNow());
    tx.commit();
    return id;
}

std::optional<Credentials> Store::credentials(std::string_view name)
{
    auto db = reader();
    auto row = db->prepare("SELECT id, password_hash FROM users WHERE username_key = ?");
    if (!row.bind(usernameKey(name)).step())
        return std::nullopt;
    return Credentials{row.integer(0), row.text(1)};
}

std::optional<UserAccount> Store::account(std::int64_t userId)
{
    auto db = reader();
    auto row = db->prepare("SELECT u.id, u.username, u.email, "
                           "(SELECT COUNT(*) FROM screenshots s WHERE s.user_id = u.id), "
                           "(SELECT COALESCE(SUM(size), 0) FROM blobs b WHERE b.user_id = u.id) "
                           "FROM users u WHERE u.id = ?");
    if (!row.bind(userId).step())
        return std::nullopt;
    return UserAccount{row.integer(0), row.text(1), row.text(2), row.integer(3), row.integer(4)};
}

void Store::addSession(std::int64_t userId, const std::string& digest, std::int64_t expiresAt)
{
    auto db = writer();
    db->prepare("INSERT INTO sessions (token_digest, user_id, expires_at) VALUES (?, ?, ?)")
        .bind(digest, userId, expiresAt)
        .run();
}

std::optional<std::int64_t> Store::sessionUser(const std::string& digest, std::int64_t now)
{
    auto db = reader();
    // Joined with users: a user row removed behind the server's back takes its tokens along
    // even where foreign keys were off.
    auto row = db->prepare("SELECT s.user_id FROM sessions s JOIN users u ON u.id = s.user_id "
                           "WHERE s.token_digest = ? AND s.expires_at > ?");
    if (!row.bind(digest, now).step())
        return std::nullopt;
    return row.integer(0);
}

void Store::removeSession(const std::string& digest)
{
    auto db = writer();
    db->prepare("DELETE FROM sessions WHERE token_digest = ?").bind(digest).run();
}

void Store::pruneSessions(std::int64_t now)
{
    auto db = writer();
    db->prepare("DELETE FROM sessions WHERE expires_at <= ?").bind(now).run();
}

Store::Ingested Store::ingest(std::int64_t userId, IncomingFile& file, const ImageType& type,
                              std::string_view originalFilename, std::string_view captureType,
                              std::optional<std::uint64_t> quota, std::string uploadedAt)
{
    if (uploadedAt.empty())
        uploadedAt = utcNow();
    if (m_objects)
        return ingestObject(userId, file, type, originalFilename, captureType, quota, uploadedAt);
    auto db = writer();
    Transaction tx(*db);
    lockUser(*db, userId);
    // Statements are finished within their expression so none is pending at the commit.
    const bool stored = blobKnown(*db, userId, file.sha256());
    fs::path placed;
    if (!stored) {
        const std::int64_t used = quota ? usedBytes(*db, userId) : 0;
        if (overQuota(quota, used, file.size()))
            return {true, used, {}};

        const fs::path dir = m_blobs / std::to_string(userId);
        ensureDirectory(dir);
        placed = blobPath(userId, file.sha256(), type.extension);
        if (::rename(file.path().c_str(), placed.c_str()) != 0)
            throw std::system_error(errno, std::generic_category(), "rename into " + dir.string());
        file.release();
        syncDirectory(dir);
        db->prepare("INSERT INTO blobs (user_id, sha256, ext, size) VALUES (?, ?, ?, ?)")
            .bind(userId, file.sha256(), type.extension, static_cast<std::int64_t>(file.size()))
            .run();
    }
    try {
        const auto id =
            returnedId(*db,
                       "INSERT INTO screenshots (user_id, sha256, original_filename, "
                       "capture_type, uploaded_at) VALUES (?, ?, ?, ?, ?) RETURNING id",
                       userId, file.sha256(), originalFilename, captureType, uploadedAt);
        tx.commit();
        auto record = db->prepare(std::string(kRecordColumns) + "WHERE s.id = ?");
        record.bind(*id).step();
        return {false, 0, recordFrom(record)};
    } catch (...) {
        // Not committed, so the file placed above belongs to nobody.
        if (!placed.empty())
            ::unlink(placed.c_str());
        throw;
    }
}

std::vector<ScreenshotRecord> Store::list(std::int64_t userId)
{
    auto db = reader();
    auto rows = db->prepare(std::string(kRecordColumns) + "WHERE s.user_id = ? ORDER BY s.id DESC");
    rows.bind(userId);
    std::vector<ScreenshotRecord> records;
    while (rows.step())
        records.push_back(recordFrom(rows));
    return records;
}

std::optional<StoredFile> Store::file(std::int64_t userId, std::int64_t screenshotId)
{
    auto db = reader();
    auto row = db->prepare(std::string(kFileColumns) + "WHERE s.id = ? AND s.user_id = ?");
    if (!row.bind(screenshotId, userId).step())
        return std::nullopt;
    return fileFrom(row);
}

StoredFile Store::fileFrom(const Statement& row) const
{
    const std::string ext = row.text(2);
    return StoredFile{blobPath(row.integer(0), row.text(1), ext), row.text(4),
                      mediaTypeForExtension(ext), row.text(3), row.text(1)};
}

std::shared_ptr<FileHandle> Store::open(const StoredFile& file)
{
    if (m_objects)
        return m_objects->open(file.key);
    const int fd = ::open(file.path.c_str(), O_RDONLY | O_CLOEXEC);
    return fd >= 0 ? std::make_shared<FileHandle>(fd) : nullptr;
}

bool Store::remove(std::int64_t userId, std::int64_t screenshotId)
{
    // An object goes only after the connection is back: dropping it needs one of its own.
    std::string drop;
    const bool found = [&] {
        auto db = writer();
        Transaction tx(*db);
        // With the user locked, no upload of the same content can take this file meanwhile.
        lockUser(*db, userId);
        std::string sha;
        std::string ext;
        std::string key;
        {
            auto row = db->prepare("SELECT b.sha256, b.ext, b.object_key FROM screenshots s "
                                   "JOIN blobs b ON b.user_id = s.user_id AND b.sha256 = s.sha256 "
                                   "WHERE s.id = ? AND s.user_id = ?");
            if (!row.bind(screenshotId, userId).step())
                return false;
            sha = row.text(0);
            ext = row.text(1);
            key = row.text(2);
        }
        db->prepare("DELETE FROM screenshots WHERE id = ?").bind(screenshotId).run();
        const bool lastRecord =
            !db->prepare("SELECT 1 FROM screenshots WHERE user_id = ? AND sha256 = ?")
                 .bind(userId, sha)
                 .step();
        if (lastRecord)
            db->prepare("DELETE FROM blobs WHERE user_id = ? AND sha256 = ?")
                .bind(userId, sha)
                .run();
        if (lastRecord && m_objects)
            db->prepare("INSERT INTO tombstones (object_key, since) VALUES (?, ?)")
                .bind(key, unixNow())
                .run();
        tx.commit();
        faultPoint("after-delete-commit");
        // After the commit: a crash before this line leaves only a file the next start
        // quarantines, or a tombstone the sweeper acts on.
        if (lastRecord && m_objects)
            drop = key;
        else if (lastRecord)
            ::unlink(blobPath(userId, sha, ext).c_str());
        return true;
    }();
    if (!drop.empty())
        dropObject(drop);
    return found;
}

} // namespace glimra::server
