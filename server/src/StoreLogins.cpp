// SPDX-License-Identifier: GPL-3.0-or-later
#include "SharedLimiter.h"
#include "Store.h"

namespace glimra::server {

std::int64_t Store::countLoginAttempt(const std::string& key, int limit, std::int64_t window,
                                      std::int64_t now)
{
    auto db = writer();
    // One statement, so attempts on two servers at once are counted one after the other.
    // Past the limit the count stops at limit + 1: refused attempts do not lengthen the wait.
    auto row = db->prepare(
        "INSERT INTO login_attempts (key, window_start, count) VALUES (?, ?, 1) "
        "ON CONFLICT (key) DO UPDATE SET "
        "count = CASE WHEN login_attempts.window_start <= ? THEN 1 "
        "ELSE LEAST(login_attempts.count + 1, ?) END, "
        "window_start = CASE WHEN login_attempts.window_start <= ? THEN EXCLUDED.window_start "
        "ELSE login_attempts.window_start END "
        "RETURNING count, window_start");
    const std::int64_t expired = now - window;
    row.bind(key, now, expired, static_cast<std::int64_t>(limit) + 1, expired);
    if (!row.step() || row.integer(0) <= limit)
        return 0;
    return std::max<std::int64_t>(1, row.integer(1) + window - now);
}

void Store::forgiveLoginAttempt(const std::string& key)
{
    auto db = writer();
    db->prepare("UPDATE login_attempts SET count = count - 1 WHERE key = ? AND count > 0")
        .bind(key)
        .run();
}

void Store::pruneLoginAttempts(std::int64_t before)
{
    auto db = writer();
    db->prepare("DELETE FROM login_attempts WHERE window_start <= ?").bind(before).run();
}

void Store::clearLoginAttempts(const std::string& key)
{
    auto db = writer();
    db->prepare("DELETE FROM login_attempts WHERE key = ?").bind(key).run();
}

bool Store::knownAddress(const std::string& name, const std::string& address)
{
    auto db = reader();
    return db->prepare("SELECT 1 FROM known_addresses WHERE username_key = ? AND address = ?")
        .bind(name, address)
        .step();
}

void Store::rememberAddress(const std::string& name, const std::string& address, std::size_t keep)
{
    auto db = writer();
    Transaction tx(*db);
    db->prepare("INSERT INTO known_addresses (username_key, address) VALUES (?, ?) "
                "ON CONFLICT (username_key, address) "
                "DO UPDATE SET seen = nextval('known_addresses_seen')")
        .bind(name, address)
        .run();
    db->prepare("DELETE FROM known_addresses WHERE username_key = ? AND address NOT IN "
                "(SELECT address FROM known_addresses WHERE username_key = ? "
                "ORDER BY seen DESC LIMIT ?)")
        .bind(name, name, static_cast<std::int64_t>(keep))
        .run();
    tx.commit();
}

std::chrono::seconds SharedLimiter::attempt(const std::string& key, Clock::time_point)
{
    return std::chrono::seconds(
        m_store.countLoginAttempt(m_prefix + key, m_limit, m_window.count(), unixNow()));
}

void SharedLimiter::forgive(const std::string& key)
{
    m_store.forgiveLoginAttempt(m_prefix + key);
}

void SharedLimiter::clear(const std::string& key)
{
    m_store.clearLoginAttempts(m_prefix + key);
}

} // namespace glimra::server
