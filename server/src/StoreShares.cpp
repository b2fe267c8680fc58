// SPDX-License-Identifier: GPL-3.0-or-later
#include "Store.h"
#include "StoreQueries.h"

namespace glimra::server {

namespace {

ShareLink shareFrom(const Statement& row)
{
    ShareLink link{row.text(0), row.integer(1), row.integer(2), std::nullopt};
    if (!row.isNull(3))
        link.expiresAt = row.integer(3);
    return link;
}

bool ownsScreenshot(Database& db, std::int64_t userId, std::int64_t screenshotId)
{
    return db.prepare("SELECT 1 FROM screenshots WHERE id = ? AND user_id = ?")
        .bind(screenshotId, userId)
        .step();
}

} // namespace

std::optional<ShareLink> Store::addShare(std::int64_t userId, std::int64_t screenshotId,
                                         const std::string& linkId, std::int64_t now,
                                         std::optional<std::int64_t> expiresAt)
{
    auto db = writer();
    Transaction tx(*db);
    lockUser(*db, userId);
    if (!ownsScreenshot(*db, userId, screenshotId))
        return std::nullopt;
    // Dead links are never served; clearing them here keeps the table to live ones.
    db->prepare("DELETE FROM shares WHERE user_id = ? AND expires_at <= ?").bind(userId, now).run();
    db->prepare("INSERT INTO shares (id, screenshot_id, user_id, created_at, expires_at) "
                "VALUES (?, ?, ?, ?, ?)")
        .bind(linkId, screenshotId, userId, now, expiresAt)
        .run();
    tx.commit();
    return ShareLink{linkId, screenshotId, now, expiresAt};
}

bool Store::importShare(std::int64_t screenshotId, std::string_view linkId, std::int64_t createdAt,
                        std::optional<std::int64_t> expiresAt)
{
    auto db = writer();
    // Parameters in VALUES take the columns' types; PostgreSQL reads them as text in a SELECT.
    return db->prepare("INSERT INTO shares (id, screenshot_id, user_id, created_at, expires_at) "
                       "VALUES (?, ?, (SELECT user_id FROM screenshots WHERE id = ?), ?, ?) "
                       "ON CONFLICT (id) DO NOTHING")
               .bind(linkId, screenshotId, screenshotId, createdAt, expiresAt)
               .run() > 0;
}

int Store::revokeShare(std::int64_t userId, std::string_view linkId)
{
    auto db = writer();
    return db->prepare("DELETE FROM shares WHERE id = ? AND user_id = ?")
        .bind(linkId, userId)
        .run();
}

std::optional<int> Store::revokeShares(std::int64_t userId, std::int64_t screenshotId)
{
    auto db = writer();
    Transaction tx(*db);
    if (!ownsScreenshot(*db, userId, screenshotId))
        return std::nullopt;
    const int revoked =
        db->prepare("DELETE FROM shares WHERE screenshot_id = ?").bind(screenshotId).run();
    tx.commit();
    return revoked;
}

std::vector<ShareLink> Store::liveShares(std::int64_t userId, std::int64_t now)
{
    auto db = reader();
    auto rows = db->prepare("SELECT id, screenshot_id, created_at, expires_at FROM shares "
                            "WHERE user_id = ? AND (expires_at IS NULL OR expires_at > ?) "
                            "ORDER BY created_at, " +
                            std::string(m_postgres ? "seq" : "rowid"));
    rows.bind(userId, now);
    std::vector<ShareLink> links;
    while (rows.step())
        links.push_back(shareFrom(rows));
    return links;
}

std::optional<StoredFile> Store::sharedFile(std::string_view linkId, std::int64_t now)
{
    auto db = reader();
    auto row = db->prepare(std::string(kFileColumns) +
                           "JOIN shares l ON l.screenshot_id = s.id AND l.user_id = s.user_id "
                           "WHERE l.id = ? AND (l.expires_at IS NULL OR l.expires_at > ?)");
    if (!row.bind(linkId, now).step())
        return std::nullopt;
    return fileFrom(row);
}

} // namespace glimra::server
