// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Pieces of SQL and their readers that the parts of Store share.

#include "Database.h"
#include "Store.h"

#include <chrono>
#include <ctime>

namespace glimra::server {

inline constexpr const char* kRecordColumns =
    "SELECT s.id, b.sha256, b.ext, s.original_filename, b.size, s.capture_type, s.uploaded_at "
    "FROM screenshots s JOIN blobs b ON b.user_id = s.user_id AND b.sha256 = s.sha256 ";

inline std::string utcNow()
{
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm tm{};
    gmtime_r(&now, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return text;
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

} // namespace glimra::server
