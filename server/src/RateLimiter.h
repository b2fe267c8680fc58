// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <deque>
#include <mutex>
#include <string>
#include <unordered_map>

namespace glimra::server {

// Counts failed logins per key and says how long a key must wait.
class LoginLimiter {
public:
    using Clock = std::chrono::steady_clock;
    virtual ~LoginLimiter() = default;
    // Counts an attempt before it is checked, when the key may still try: parallel attempts
    // cannot slip past the limit while each one is being checked. Zero when it may try now.
    virtual std::chrono::seconds attempt(const std::string& key, Clock::time_point now) = 0;
    // Takes back the key's last attempt: it succeeded.
    virtual void forgive(const std::string& key) = 0;
    virtual void clear(const std::string& key) = 0;
};

// Counts failed logins per key (a user name, an address) in a sliding window. A key with
// `limit` failures inside the window is refused until the oldest of them leaves it.
class RateLimiter final : public LoginLimiter {
public:
    RateLimiter(int limit, std::chrono::seconds window) : m_limit(limit), m_window(window) {}

    // How long the key must wait; zero when it may try now.
    std::chrono::seconds retryAfter(const std::string& key, Clock::time_point now);
    void recordFailure(const std::string& key, Clock::time_point now);
    std::chrono::seconds attempt(const std::string& key, Clock::time_point now) override;
    void forgive(const std::string& key) override;
    void clear(const std::string& key) override;

private:
    std::chrono::seconds wait(std::deque<Clock::time_point>& failures, Clock::time_point now) const;
    void record(std::deque<Clock::time_point>& failures, Clock::time_point now);
    void prune(std::deque<Clock::time_point>& failures, Clock::time_point now) const;
    void pruneAll(Clock::time_point now);

    const std::size_t m_limit;
    const std::chrono::seconds m_window;
    std::mutex m_mutex;
    std::unordered_map<std::string, std::deque<Clock::time_point>> m_failures;
    std::size_t m_recordsSincePrune = 0;
};

} // namespace glimra::server
