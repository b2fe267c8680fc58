// SPDX-License-Identifier: GPL-3.0-or-later
#include "ServerProcess.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

using namespace glimra::server::test;

namespace {

// Runs `attempt` from two threads at once, one per server; how many it answered with each
// status.
std::map<int, int> race(ServerProcess& a, ServerProcess& b, int perServer,
                        const std::function<int(httplib::Client&, int)>& attempt)
{
    std::mutex mutex;
    std::map<int, int> statuses;
    std::vector<std::thread> threads;
    for (ServerProcess* server : {&a, &b}) {
        threads.emplace_back([&, server] {
            httplib::Client client = server->client();
            for (int i = 0; i < perServer; ++i) {
                const int status = attempt(client, server == &a ? i : 100 + i);
                std::lock_guard lock(mutex);
                ++statuses[status];
            }
        });
    }
    for (auto& t : threads)
        t.join();
    return statuses;
}

} // namespace

TEST(SharedDatabase, signInsSignOutsAndLimitsHoldAcrossServersAskedAtOnce)
{
    if (!onPostgres())
        GTEST_SKIP() << "servers share a PostgreSQL database only";
    // Two servers on one database, started at the same moment so both find the schema missing.
    TempDir dirA;
    TempDir dirB;
    const std::vector<std::string> args{
        "--login-limit-user", "5", "--quota", "10K", "--database", testDatabaseUrl(dirA.path())};
    std::unique_ptr<ServerProcess> serverB;
    std::thread other([&] { serverB = std::make_unique<ServerProcess>(dirB.path(), args); });
    ServerProcess serverA(dirA.path(), args);
    other.join();
    httplib::Client a = serverA.client();
    httplib::Client b = serverB->client();
    const std::string token = registerUser(a, "alice");
    EXPECT_TRUE(post(b, kAuth, {{"action", "validate"}, {"token", token}}).ok());
    ASSERT_EQ(statusOf(rawLogin(serverA.port(), "127.0.0.5", "alice", "correct horse")), 200);

    const auto logins = race(serverA, *serverB, 6, [](httplib::Client& client, int) {
        return post(client, kAuth,
                    {{"action", "login"}, {"username", "alice"}, {"password", "wrong guess"}})
            .status;
    });
    EXPECT_EQ(logins, (std::map<int, int>{{401, 5}, {429, 7}}));
    EXPECT_EQ(statusOf(rawLogin(serverB->port(), "127.0.0.5", "alice", "correct horse")), 200)
        << "the owner signed in from there on the other server";

    // Five different 2 KiB files fill the 10 KiB quota; the sixth byte over is refused.
    const auto uploads = race(serverA, *serverB, 6, [&](httplib::Client& client, int seed) {
        return upload(client, token, fakePng(seed)).status;
    });
    EXPECT_EQ(uploads, (std::map<int, int>{{200, 5}, {507, 7}}));
    const Reply account = post(a, kAuth, {{"action", "validate"}, {"token", token}});
    EXPECT_EQ(account.body["user"]["storage_used_bytes"], 5 * 2048);

    ASSERT_TRUE(post(b, kAuth, {{"action", "logout"}, {"token", token}}).ok());
    for (httplib::Client* client : {&a, &b})
        EXPECT_EQ(post(*client, kAuth, {{"action", "validate"}, {"token", token}}).status, 401);
}
