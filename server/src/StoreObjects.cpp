// SPDX-License-Identifier: GPL-3.0-or-later
#include "FaultPoint.h"
#include "ObjectStore.h"
#include "Store.h"
#include "StoreQueries.h"

#include <algorithm>
#include <iostream>
#include <set>

namespace glimra::server {

namespace {

// An upload takes far less; a pending row this old belongs to a server that died.
constexpr std::int64_t kPendingStale = 3600;
// Advisory lock of the sweeper, different from the migrations'.
constexpr const char* kSweepLock = "SELECT pg_try_advisory_lock(4711230302)";
constexpr const char* kSweepUnlock = "SELECT pg_advisory_unlock(4711230302)";

} // namespace

Store::Ingested Store::ingestObject(std::int64_t userId, IncomingFile& file, const ImageType& type,
                                    std::string_view originalFilename, std::string_view captureType,
                                    std::optional<std::uint64_t> quota,
                                    const std::string& uploadedAt)
{
    const auto size = static_cast<std::int64_t>(file.size());
    // Twice at most: content known at the first look may be deleted before the commit, and
    // then this upload must write it after all.
    for (;;) {
        std::string key; // of the object this upload writes, if it writes one
        {
            auto db = reader();
            const bool known = blobKnown(*db, userId, file.sha256());
            // Refused before a byte is sent; checked again exactly below.
            if (!known && quota) {
                const std::int64_t used = usedBytes(*db, userId);
                if (overQuota(quota, used, file.size()))
                    return {true, used, {}};
            }
            if (!known)
                key = ObjectStore::newKey(userId, file.sha256(), type.extension);
        }
        if (!key.empty()) {
            writer()
                ->prepare("INSERT INTO pending_uploads (object_key, started_at) VALUES (?, ?)")
                .bind(key, unixNow())
                .run();
            try {
                m_objects->put(key, file);
            } catch (...) {
                // A cut PUT may leave a short object; what cannot be removed now stays
                // pending for the sweeper.
                try {
                    m_objects->remove(key);
                    writer()
                        ->prepare("DELETE FROM pending_uploads WHERE object_key = ?")
                        .bind(key)
                        .run();
                } catch (const std::exception&) {
                }
                throw;
            }
            faultPoint("after-put");
        }

        std::optional<std::string> discard;
        Ingested result;
        {
            auto db = writer();
            Transaction tx(*db);
            lockUser(*db, userId);
            const bool known = blobKnown(*db, userId, file.sha256());
            if (!known && key.empty())
                continue; // deleted meanwhile: write it after all
            const std::int64_t used = !known && quota ? usedBytes(*db, userId) : 0;
            if (!known && overQuota(quota, used, file.size())) {
                result = {true, used, {}};
                discard = key;
            } else if (known && !key.empty()) {
                discard = key; // the same bytes arrived through another upload first
            } else if (!known) {
                db->prepare("INSERT INTO blobs (user_id, sha256, ext, size, object_key) "
                            "VALUES (?, ?, ?, ?, ?)")
                    .bind(userId, file.sha256(), type.extension, size, key)
                    .run();
            }
            if (!key.empty())
                db->prepare("DELETE FROM pending_uploads WHERE object_key = ?").bind(key).run();
            if (discard)
                db->prepare("INSERT INTO tombstones (object_key, since) VALUES (?, ?)")
                    .bind(*discard, unixNow())
                    .run();
            std::optional<std::int64_t> id;
            if (!result.quotaExceeded)
                id = returnedId(*db,
                                "INSERT INTO screenshots (user_id, sha256, original_filename, "
                                "capture_type, uploaded_at) VALUES (?, ?, ?, ?, ?) RETURNING id",
                                userId, file.sha256(), originalFilename, captureType, uploadedAt);
            tx.commit();
            if (id) {
                auto record = db->prepare(std::string(kRecordColumns) + "WHERE s.id = ?");
                record.bind(*id).step();
                result.record = recordFrom(record);
            }
        }
        faultPoint("after-commit");
        if (discard)
            dropObject(*discard);
        return result;
    }
}

void Store::dropObject(const std::string& key)
{
    try {
        m_objects->remove(key);
        writer()->prepare("DELETE FROM tombstones WHERE object_key = ?").bind(key).run();
    } catch (const std::exception& e) {
        std::cerr << "glimra-server: " << e.what() << " (left for the sweeper)\n";
    }
}

bool Store::healthy()
{
    try {
        reader()->prepare("SELECT 1").run();
    } catch (const std::exception&) {
        return false;
    }
    return !m_objects || m_objects->reachable();
}

SweepReport Store::sweep(std::int64_t graceSeconds, std::int64_t now)
{
    SweepReport report;
    std::unique_lock local(m_sweepMutex, std::try_to_lock);
    if (!local.owns_lock() || !m_objects)
        return report;
    // Held on this one connection for the whole round: one sweeper across all servers.
    auto lockHolder = reader();
    if (m_postgres) {
        auto taken = lockHolder->prepare(kSweepLock);
        if (!taken.step() || taken.text(0) != "t")
            return report;
    }
    struct Unlock {
        Database& db;
        bool postgres;
        ~Unlock()
        {
            if (postgres)
                db.prepare(kSweepUnlock).run();
        }
    } unlock{*lockHolder, m_postgres};
    report.ran = true;

    const auto keys = [&](const char* sql, auto... args) {
        std::vector<std::string> found;
        auto db = reader();
        auto rows = db->prepare(sql);
        rows.bind(args...);
        while (rows.step())
            found.push_back(rows.text(0));
        return found;
    };
    for (const std::string& key : keys("SELECT object_key FROM tombstones")) {
        m_objects->remove(key);
        writer()->prepare("DELETE FROM tombstones WHERE object_key = ?").bind(key).run();
        ++report.tombstonesCleared;
    }
    const std::int64_t stale = now - std::min(graceSeconds, kPendingStale);
    for (const std::string& key :
         keys("SELECT object_key FROM pending_uploads WHERE started_at <= ?", stale)) {
        m_objects->remove(key);
        writer()->prepare("DELETE FROM pending_uploads WHERE object_key = ?").bind(key).run();
        ++report.pendingCleared;
    }

    // Listed before the rows are read: an upload committed in between is then known.
    const std::vector<S3Object> objects = m_objects->list();
    const std::vector<std::string> rows =
        keys("SELECT object_key FROM blobs WHERE object_key IS NOT NULL");
    std::set<std::string> known(rows.begin(), rows.end());
    for (const char* sql :
         {"SELECT object_key FROM pending_uploads", "SELECT object_key FROM tombstones"}) {
        for (std::string& key : keys(sql))
            known.insert(std::move(key));
    }
    std::set<std::string> listed;
    std::vector<const S3Object*> strays;
    for (const S3Object& object : objects) {
        listed.insert(object.key);
        if (!known.contains(object.key)) {
            report.objectsWithoutRow.push_back(object.key);
            if (object.modified <= now - graceSeconds)
                strays.push_back(&object);
        }
    }
    for (const std::string& key : rows)
        if (!listed.contains(key))
            report.rowsWithoutObject.push_back(key);
    // More strays than rows looks like a database that belongs to another bucket: nothing is
    // removed on such a guess.
    report.refusedToRemove = strays.size() > 10 && strays.size() > known.size();
    for (const S3Object* object :
         report.refusedToRemove ? std::vector<const S3Object*>() : strays) {
        m_objects->remove(object->key);
        ++report.objectsRemoved;
    }
    return report;
}

} // namespace glimra::server
