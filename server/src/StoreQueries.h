// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Pieces of SQL and their readers that the parts of Store share.

#include "Database.h"
#include "Store.h"

namespace glimra::server {

inline constexpr const char* kRecordColumns =
    "SELECT s.id, b.sha256, b.ext, s.original_filename, b.size, s.capture_type, s.uploaded_at "
    "FROM screenshots s JOIN blobs b ON b.user_id = s.user_id AND b.sha256 = s.sha256 ";

// What a download needs of a screenshot (s) and its bytes (b); read by Store::fileFrom.
inline constexpr const char* kFileColumns =
    "SELECT b.user_id, b.sha256, b.ext, s.original_filename, b.object_key FROM screenshots s "
    "JOIN blobs b ON b.user_id = s.user_id AND b.sha256 = s.sha256 ";

inline std::string utcNow()
{
    return isoTime(unixNow());
}

inline ScreenshotRecord recordFrom(const Statement& row)
{
    return {row.integer(0), row.text(1) + "." + row.text(2),
            row.text(3),    row.integer(4),
            row.text(5),    row.text(6)};
}

// The id an INSERT ... RETURNING id gave, nothing when it inserted nothing. The statement is
// run to its end, so none is pending when the transaction commits.
template <typename... Args>
inline std::optional<std::int64_t> returnedId(Database& db, std::string_view sql,
                                              const Args&... args)
{
    auto row = db.prepare(sql);
    row.bind(args...);
    std::optional<std::int64_t> id;
    while (row.step())
        id = row.integer(0);
    return id;
}

template <typename... Args>
inline std::int64_t scalar(Database& db, std::string_view sql, const Args&... args)
{
    auto row = db.prepare(sql);
    row.bind(args...);
    return row.step() ? row.integer(0) : 0;
}

// What the account's files take. Summing grows with the account: asked only with a quota.
inline std::int64_t usedBytes(Database& db, std::int64_t userId)
{
    return scalar(db, "SELECT COALESCE(SUM(size), 0) FROM blobs WHERE user_id = ?", userId);
}

inline bool overQuota(std::optional<std::uint64_t> quota, std::int64_t used, std::uint64_t size)
{
    return quota && (size > *quota || static_cast<std::uint64_t>(used) > *quota - size);
}

// Whether the account already holds these bytes.
inline bool blobKnown(Database& db, std::int64_t userId, const std::string& sha256)
{
    return db.prepare("SELECT 1 FROM blobs WHERE user_id = ? AND sha256 = ?")
        .bind(userId, sha256)
        .step();
}

} // namespace glimra::server
