// SPDX-License-Identifier: GPL-3.0-or-later
#include "RateLimiter.h"

#include <gtest/gtest.h>

using namespace glimra::server;
using namespace std::chrono_literals;

TEST(RateLimiter, refusesAKeyUntilItsOldestFailureLeavesTheWindow)
{
    RateLimiter limiter(3, 60s);
    const auto t0 = RateLimiter::Clock::time_point{} + 1000s;
    // Each step: optionally record a failure at an offset, then expect the wait there.
    const struct {
        std::chrono::milliseconds at;
        const char* key;
        bool fail;
        std::chrono::seconds wait;
    } steps[] = {
        {0s, "alice", true, 0s},   {10s, "alice", true, 0s},      {20s, "alice", true, 40s},
        {20s, "bob", false, 0s},   {59500ms, "alice", false, 1s}, // rounded up
        {60s, "alice", false, 0s}, {61s, "alice", true, 9s},      {70s, "alice", false, 0s},
    };
    for (const auto& s : steps) {
        if (s.fail)
            limiter.recordFailure(s.key, t0 + s.at);
        EXPECT_EQ(limiter.retryAfter(s.key, t0 + s.at), s.wait) << s.key << " at " << s.at.count();
    }
    limiter.recordFailure("alice", t0 + 70s);
    limiter.clear("alice");
    EXPECT_EQ(limiter.retryAfter("alice", t0 + 70s), 0s);
}
