// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Database.h"
#include "Files.h"
#include "Http.h"
#include "Validation.h"

#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace glimra::server {

struct UserAccount {
    std::int64_t id = 0;
    std::string username;
    std::string email;
    std::int64_t screenshotCount = 0;
    std::int64_t storageUsedBytes = 0;
};

struct Credentials {
    std::int64_t userId = 0;
    std::string passwordHash;
};

struct ScreenshotRecord {
    std::int64_t id = 0;
    std::string filename; // the stored file's own name, never the client's
    std::string originalFilename;
    std::int64_t fileSize = 0;
    std::string captureType;
    std::string uploadedAt;
};

struct StoredFile {
    fs::path path;   // in the data folder
    std::string key; // in the bucket
    std::string_view mediaType;
    std::string originalFilename;
    std::string sha256;
};

// A link that hands one screenshot to anyone who has it. Times are Unix seconds.
struct ShareLink {
    std::string id;
    std::int64_t screenshotId = 0;
    std::int64_t createdAt = 0;
    std::optional<std::int64_t> expiresAt; // none: until revoked
};

// The store's state as a file-system check sees it. Paths are relative to the data folder.
struct CheckReport {
    int records = 0;
    int files = 0;
    bool blobsMissing = false;
    std::vector<std::string> recordsWithoutFile; // "blobs/<user>/<name> (screenshots 3, 4)"
    std::vector<std::string> filesWithoutRecord;
    std::vector<std::string> hashMismatches;
    std::vector<std::string> temporaries;
    int quarantined = 0;
    bool clean() const
    {
        return !blobsMissing && recordsWithoutFile.empty() && filesWithoutRecord.empty() &&
               hashMismatches.empty() && temporaries.empty();
    }
};

// What the serving process may do at start without asking: nothing is deleted on a guess.
struct Repairs {
    bool removeTemporaries = false;
    bool quarantineStrays = false;
    bool dropRecordsWithoutFile = false;
};

class ObjectStore;

// Seconds since 1970, the clock of every stored time.
std::int64_t unixNow();
// "2026-12-08T10:00:00Z"
std::string isoTime(std::int64_t unixSeconds);

// One tidying round over a bucket (see Store::sweep).
struct SweepReport {
    bool ran = false; // false: another server is sweeping
    int tombstonesCleared = 0;
    int pendingCleared = 0;
    std::vector<std::string> objectsWithoutRow;
    int objectsRemoved = 0;
    std::vector<std::string> rowsWithoutObject;
    bool refusedToRemove = false; // the listing looked like another bucket's
};

// True for a failure caused by a full disk or quota.
bool isDiskFull(const std::exception& e);

// Owns the database and the screenshot files under one data folder. Files are stored once
// per user and content (data/blobs/<user>/<sha256>.<ext>); each upload is its own record.
// The database is SQLite in the data folder, or PostgreSQL shared by several servers; every
// change that needs another to wait locks its user's row there. Every method is safe to call
// from any thread.
class Store {
public:
    // `create`: make the folder and database when missing (serving, adding users); without
    // it an absent database is an error (checking). `databaseUrl`: empty for SQLite, else a
    // PostgreSQL connection URI.
    // `objects`: the bucket the files go to; none keeps them in the data folder.
    explicit Store(const fs::path& dataDir, bool create = true, const std::string& databaseUrl = {},
                   std::unique_ptr<ObjectStore> objects = nullptr);
    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    const fs::path& tmpDir() const { return m_tmp; }
    // True when other servers may share the database, so limits must be counted in it.
    bool shared() const { return m_postgres; }
    bool usesBucket() const { return m_objects != nullptr; }
    // True when the database and the bucket both answer.
    bool healthy();

    // Compares records and files; `hashes` also reads every file. Then makes the repairs
    // asked for; strays go to quarantine/, where they are removed after `quarantineDays`.
    CheckReport check(bool hashes, const Repairs& repairs, int quarantineDays = 7);
    // A file kept for the database's needs when the disk fills up; false when already gone.
    void makeReserve();
    bool releaseReserve();

    // Nothing when the name is taken (compared without regard to case).
    std::optional<std::int64_t> createUser(std::string_view name, std::string_view email,
                                           const std::string& passwordHash);
    std::optional<Credentials> credentials(std::string_view name);
    std::optional<UserAccount> account(std::int64_t userId);
    // The account with its sessions, records and files; nothing when there is no such name.
    std::optional<int> deleteUser(std::string_view name);

    void addSession(std::int64_t userId, const std::string& digest, std::int64_t expiresAt);
    // Nothing for an expired token, or one whose user is gone.
    std::optional<std::int64_t> sessionUser(const std::string& digest, std::int64_t now);
    void removeSession(const std::string& digest);
    void pruneSessions(std::int64_t now);

    // Failed-login counting shared by every server on the database: counts an attempt on
    // `key` unless `limit` were counted within the window; the seconds to wait, or 0.
    std::int64_t countLoginAttempt(const std::string& key, int limit, std::int64_t window,
                                   std::int64_t now);
    void forgiveLoginAttempt(const std::string& key);
    void clearLoginAttempts(const std::string& key);
    // Drops the counts of windows that started at or before `before`.
    void pruneLoginAttempts(std::int64_t before);
    // The addresses a name's owner signed in from, shared the same way; the `keep` most
    // recently seen are kept.
    bool knownAddress(const std::string& name, const std::string& address);
    void rememberAddress(const std::string& name, const std::string& address, std::size_t keep);

    struct Ingested {
        bool quotaExceeded = false;
        std::int64_t usedBytes = 0; // when over quota: what the user already uses
        ScreenshotRecord record;
    };
    // Takes a finished upload: the file becomes durable under its content name before its
    // record is committed, so a crash never leaves a record without a file. `uploadedAt`:
    // kept from another store when moving one; empty means now.
    Ingested ingest(std::int64_t userId, IncomingFile& file, const ImageType& type,
                    std::string_view originalFilename, std::string_view captureType,
                    std::optional<std::uint64_t> quota, std::string uploadedAt = {});
    std::vector<ScreenshotRecord> list(std::int64_t userId);
    std::optional<StoredFile> file(std::int64_t userId, std::int64_t screenshotId);
    // The file's bytes, read from its start; nothing when it is gone.
    std::shared_ptr<FileHandle> open(const StoredFile& file);
    // False when the user has no such screenshot.
    bool remove(std::int64_t userId, std::int64_t screenshotId);

    // Nothing when the user has no such screenshot. Clears the user's expired links on the way.
    std::optional<ShareLink> addShare(std::int64_t userId, std::int64_t screenshotId,
                                      const std::string& linkId, std::int64_t now,
                                      std::optional<std::int64_t> expiresAt);
    // A link brought from another store, for the screenshot's owner; false when it is there.
    bool importShare(std::int64_t screenshotId, std::string_view linkId, std::int64_t createdAt,
                     std::optional<std::int64_t> expiresAt);
    // How many links went; 0 when the user has no such link.
    int revokeShare(std::int64_t userId, std::string_view linkId);
    // Nothing when the user has no such screenshot.
    std::optional<int> revokeShares(std::int64_t userId, std::int64_t screenshotId);
    // The user's links that still work, oldest first.
    std::vector<ShareLink> liveShares(std::int64_t userId, std::int64_t now);
    // The file behind a link that still works.
    std::optional<StoredFile> sharedFile(std::string_view linkId, std::int64_t now);

    // Tidies the bucket, on one server at a time: removes the objects of tombstones and of
    // uploads pending longer than an hour (or `grace`, if shorter), and lists the bucket for
    // objects no row knows, removed once older than `grace`. Rows are never removed here: an
    // object missing for a row is only reported.
    SweepReport sweep(std::int64_t graceSeconds, std::int64_t now);

    // A connection on loan: the writer (SQLite's one, held alone) or one of the pool.
    class Lease;

private:
    Lease reader();
    Lease writer();
    // In a transaction: nobody else changes this user's records until it ends.
    void lockUser(Database& db, std::int64_t userId);
    fs::path blobPath(std::int64_t userId, std::string_view sha256, std::string_view ext) const;
    // A row of kFileColumns.
    StoredFile fileFrom(const Statement& row) const;
    void quarantine(const fs::path& file);
    Ingested ingestObject(std::int64_t userId, IncomingFile& file, const ImageType& type,
                          std::string_view originalFilename, std::string_view captureType,
                          std::optional<std::uint64_t> quota, const std::string& uploadedAt);
    // After the commit that wrote its tombstone: the object goes, then the tombstone. A
    // failure leaves both for the sweeper.
    void dropObject(const std::string& key);
    void purgeQuarantine(int days);

    fs::path m_data;
    fs::path m_tmp;
    fs::path m_blobs;
    bool m_postgres = false;
    std::unique_ptr<ObjectStore> m_objects;
    std::mutex m_sweepMutex;
    // SQLite: every change of records or files happens with this one connection and under
    // this lock, so a file is never removed while another request is about to commit a
    // record that needs it. PostgreSQL: unused; the user's row lock does that.
    std::unique_ptr<Database> m_writer;
    std::mutex m_writeMutex;
    std::vector<std::unique_ptr<Database>> m_pool;
    std::mutex m_poolMutex;
    std::condition_variable m_poolFree;
};

class Store::Lease {
public:
    Lease(Store& store, std::unique_ptr<Database> pooled)
        : m_store(store), m_pooled(std::move(pooled)), m_db(m_pooled.get())
    {}
    Lease(Store& store, Database& writer, std::unique_lock<std::mutex> lock)
        : m_store(store), m_db(&writer), m_lock(std::move(lock))
    {}
    ~Lease()
    {
        m_db->recover();
        if (!m_pooled)
            return;
        {
            std::lock_guard lock(m_store.m_poolMutex);
            m_store.m_pool.push_back(std::move(m_pooled));
        }
        m_store.m_poolFree.notify_one();
    }
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;
    Database* operator->() const { return m_db; }
    Database& operator*() const { return *m_db; }

private:
    Store& m_store;
    std::unique_ptr<Database> m_pooled;
    Database* m_db;
    std::unique_lock<std::mutex> m_lock;
};

} // namespace glimra::server
