// SPDX-License-Identifier: GPL-3.0-or-later
#include "RateLimiter.h"

namespace glimra::server {

void RateLimiter::prune(std::deque<Clock::time_point>& failures, Clock::time_point now) const
{
    while (!failures.empty() && failures.front() + m_window <= now)
        failures.pop_front();
}

std::chrono::seconds RateLimiter::wait(std::deque<Clock::time_point>& failures,
                                       Clock::time_point now) const
{
    prune(failures, now);
    if (failures.size() < m_limit)
        return std::chrono::seconds(0);
    // Rounded up: a client that waits exactly this long is let through.
    return std::chrono::ceil<std::chrono::seconds>(failures[failures.size() - m_limit] + m_window -
                                                   now);
}

std::chrono::seconds RateLimiter::retryAfter(const std::string& key, Clock::time_point now)
{
    std::lock_guard lock(m_mutex);
    const auto found = m_failures.find(key);
    return found == m_failures.end() ? std::chrono::seconds(0) : wait(found->second, now);
}

std::chrono::seconds RateLimiter::attempt(const std::string& key, Clock::time_point now)
{
    std::lock_guard lock(m_mutex);
    auto& failures = m_failures[key];
    if (const auto w = wait(failures, now); w.count() > 0)
        return w;
    record(failures, now);
    return std::chrono::seconds(0);
}

void RateLimiter::forgive(const std::string& key)
{
    std::lock_guard lock(m_mutex);
    const auto found = m_failures.find(key);
    if (found != m_failures.end() && !found->second.empty())
        found->second.pop_back();
}

void RateLimiter::recordFailure(const std::string& key, Clock::time_point now)
{
    std::lock_guard lock(m_mutex);
    record(m_failures[key], now);
}

void RateLimiter::record(std::deque<Clock::time_point>& failures, Clock::time_point now)
{
    prune(failures, now);
    failures.push_back(now);
    if (failures.size() > m_limit)
        failures.pop_front();
    // Guessed user names must not grow the table for ever. Pruning may erase the entry
    // `failures` belongs to, so it comes last.
    if (++m_recordsSincePrune >= 1024) {
        m_recordsSincePrune = 0;
        pruneAll(now);
    }
}

void RateLimiter::clear(const std::string& key)
{
    std::lock_guard lock(m_mutex);
    m_failures.erase(key);
}

void RateLimiter::pruneAll(Clock::time_point now)
{
    for (auto it = m_failures.begin(); it != m_failures.end();) {
        prune(it->second, now);
        it = it->second.empty() ? m_failures.erase(it) : std::next(it);
    }
}

} // namespace glimra::server
