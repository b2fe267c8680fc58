// SPDX-License-Identifier: GPL-3.0-or-later
#include "Store.h"

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
constexpr const char* kRecordColumns =
    "SELECT s.id, b.sha256, b.ext, s.original_filename, b.size, s.capture_type, s.uploaded_at "
    "FROM screenshots s JOIN blobs b ON b.user_id = s.user_id AND b.sha256 = s.sha256 ";

std::string utcNow()
{
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm tm{};
    gmtime_r(&now, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return text;
}

ScreenshotRecord recordFrom(const Statement& row)
{
    return {row.integer(0), row.text(1) + "." + row.text(2),
            row.text(3),    row.integer(4),
            row.text(5),    row.text(6)};
}

template <typename... Args>
std::int64_t scalar(Database& db, std::string_view sql, const Args&... args)
{
    auto row = db.prepare(sql);
    row.bind(args...);
    return row.step() ? row.integer(0) : 0;
}

void configure(Database& db)
{
    db.exec("PRAGMA journal_mode = WAL");
    // Every commit reaches the disk before the client is told its screenshot is stored.
    db.exec("PRAGMA synchronous = FULL");
}

} // namespace

Store::Store(const fs::path& dataDir, bool create)
    : m_data(dataDir), m_tmp(dataDir / "tmp"), m_blobs(dataDir / "blobs")
{
    const std::string dbPath = (m_data / "glimra.db").string();
    const bool fresh = !fs::exists(dbPath);
    if (fresh && !create)
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
    m_writer = std::make_unique<Database>(dbPath);
    configure(*m_writer);
    migrate();
    for (int i = 0; i < kReaders; ++i) {
        m_readers.push_back(std::make_unique<Database>(dbPath));
        configure(*m_readers.back());
    }
}

Store::~Store() = default;

void Store::migrate()
{
    Transaction tx(*m_writer);
    const std::int64_t version = scalar(*m_writer, "PRAGMA user_version");
    if (version < 1) {
        m_writer->exec(R"(
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
            PRAGMA user_version = 1;
        )");
    }
    if (version < 2) {
        // A link goes with its screenshot, however that is removed.
        m_writer->exec(R"(
            CREATE TABLE shares (
                id TEXT PRIMARY KEY,
                screenshot_id INTEGER NOT NULL REFERENCES screenshots(id) ON DELETE CASCADE,
                user_id INTEGER NOT NULL,
                created_at INTEGER NOT NULL,
                expires_at INTEGER);
            CREATE INDEX shares_by_user ON shares(user_id, screenshot_id);
            CREATE INDEX shares_by_screenshot ON shares(screenshot_id);
            PRAGMA user_version = 2;
        )");
    }
    tx.commit();
}

Store::ReaderLease Store::reader()
{
    std::unique_lock lock(m_readMutex);
    m_readerFree.wait(lock, [this] { return !m_readers.empty(); });
    auto db = std::move(m_readers.back());
    m_readers.pop_back();
    return ReaderLease(*this, std::move(db));
}

fs::path Store::blobPath(std::int64_t userId, std::string_view sha256, std::string_view ext) const
{
    return m_blobs / std::to_string(userId) / (std::string(sha256) + "." + std::string(ext));
}

std::optional<std::int64_t> Store::createUser(std::string_view name, std::string_view email,
                                              const std::string& passwordHash)
{
    std::lock_guard lock(m_writeMutex);
    Transaction tx(*m_writer);
    const std::string key = usernameKey(name);
    if (m_writer->prepare("SELECT 1 FROM users WHERE username_key = ?").bind(key).step())
        return std::nullopt;
    m_writer
        ->prepare("INSERT INTO users (username, username_key, email, password_hash, created_at) "
                  "VALUES (?, ?, ?, ?, ?)")
        .bind(name, key, email, passwordHash, utcNow())
        .run();
    const std::int64_t id = m_writer->lastInsertId();
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
    std::lock_guard lock(m_writeMutex);
    m_writer->prepare("INSERT INTO sessions (token_digest, user_id, expires_at) VALUES (?, ?, ?)")
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
    std::lock_guard lock(m_writeMutex);
    m_writer->prepare("DELETE FROM sessions WHERE token_digest = ?").bind(digest).run();
}

void Store::pruneSessions(std::int64_t now)
{
    std::lock_guard lock(m_writeMutex);
    m_writer->prepare("DELETE FROM sessions WHERE expires_at <= ?").bind(now).run();
}

Store::Ingested Store::ingest(std::int64_t userId, IncomingFile& file, const ImageType& type,
                              std::string_view originalFilename, std::string_view captureType,
                              std::optional<std::uint64_t> quota)
{
    std::lock_guard lock(m_writeMutex);
    Transaction tx(*m_writer);
    // Statements are finished within their expression so none is pending at the commit.
    const bool stored = m_writer->prepare("SELECT 1 FROM blobs WHERE user_id = ? AND sha256 = ?")
                            .bind(userId, file.sha256())
                            .step();
    fs::path placed;
    if (!stored) {
        const auto used = static_cast<std::uint64_t>(scalar(
            *m_writer, "SELECT COALESCE(SUM(size), 0) FROM blobs WHERE user_id = ?", userId));
        if (quota && (file.size() > *quota || used > *quota - file.size()))
            return {true, static_cast<std::int64_t>(used), {}};

        const fs::path dir = m_blobs / std::to_string(userId);
        ensureDirectory(dir);
        placed = blobPath(userId, file.sha256(), type.extension);
        if (::rename(file.path().c_str(), placed.c_str()) != 0)
            throw std::system_error(errno, std::generic_category(), "rename into " + dir.string());
        file.release();
        syncDirectory(dir);
        m_writer->prepare("INSERT INTO blobs (user_id, sha256, ext, size) VALUES (?, ?, ?, ?)")
            .bind(userId, file.sha256(), type.extension, static_cast<std::int64_t>(file.size()))
            .run();
    }
    const std::string uploadedAt = utcNow();
    try {
        m_writer
            ->prepare("INSERT INTO screenshots (user_id, sha256, original_filename, capture_type, "
                      "uploaded_at) VALUES (?, ?, ?, ?, ?)")
            .bind(userId, file.sha256(), originalFilename, captureType, uploadedAt)
            .run();
        const std::int64_t id = m_writer->lastInsertId();
        tx.commit();
        auto record = m_writer->prepare(std::string(kRecordColumns) + "WHERE s.id = ?");
        record.bind(id).step();
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
    auto row = db->prepare("SELECT b.sha256, b.ext, s.original_filename FROM screenshots s "
                           "JOIN blobs b ON b.user_id = s.user_id AND b.sha256 = s.sha256 "
                           "WHERE s.id = ? AND s.user_id = ?");
    if (!row.bind(screenshotId, userId).step())
        return std::nullopt;
    const std::string ext = row.text(1);
    return StoredFile{blobPath(userId, row.text(0), ext), mediaTypeForExtension(ext), row.text(2),
                      row.text(0)};
}

bool Store::remove(std::int64_t userId, std::int64_t screenshotId)
{
    std::lock_guard lock(m_writeMutex);
    Transaction tx(*m_writer);
    std::string sha;
    std::string ext;
    {
        auto row =
            m_writer->prepare("SELECT b.sha256, b.ext FROM screenshots s "
                              "JOIN blobs b ON b.user_id = s.user_id AND b.sha256 = s.sha256 "
                              "WHERE s.id = ? AND s.user_id = ?");
        if (!row.bind(screenshotId, userId).step())
            return false;
        sha = row.text(0);
        ext = row.text(1);
    }
    m_writer->prepare("DELETE FROM screenshots WHERE id = ?").bind(screenshotId).run();
    const bool lastRecord =
        !m_writer->prepare("SELECT 1 FROM screenshots WHERE user_id = ? AND sha256 = ?")
             .bind(userId, sha)
             .step();
    if (lastRecord)
        m_writer->prepare("DELETE FROM blobs WHERE user_id = ? AND sha256 = ?")
            .bind(userId, sha)
            .run();
    tx.commit();
    // After the commit: a crash before this line leaves only a file the next start
    // quarantines.
    if (lastRecord)
        ::unlink(blobPath(userId, sha, ext).c_str());
    return true;
}

} // namespace glimra::server
