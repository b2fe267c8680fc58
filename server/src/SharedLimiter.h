// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "RateLimiter.h"

#include <cstdint>
#include <string>

namespace glimra::server {

class Store;

// Failed logins counted in the database every server shares, so N servers allow the limit
// and not N times it. Counted in windows that start with a key's first failure.
class SharedLimiter final : public LoginLimiter {
public:
    // `prefix` keeps the kinds of key apart in the one table.
    SharedLimiter(Store& store, std::string prefix, int limit, std::chrono::seconds window)
        : m_store(store), m_prefix(std::move(prefix)), m_limit(limit), m_window(window)
    {}
    std::chrono::seconds attempt(const std::string& key, Clock::time_point now) override;
    void forgive(const std::string& key) override;
    void clear(const std::string& key) override;

private:
    Store& m_store;
    const std::string m_prefix;
    const int m_limit;
    const std::chrono::seconds m_window;
};

} // namespace glimra::server
