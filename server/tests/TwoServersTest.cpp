// SPDX-License-Identifier: GPL-3.0-or-later
#include "ServerProcess.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>

using namespace glimra::server::test;

namespace {

struct Account {
    std::string token;
    std::map<std::int64_t, std::string> answered; // uploads answered 200, with their bytes
};

// Bytes from 2 KB to 8 MB; seeds repeat, so the same content arrives again and again.
std::string contentFor(int n)
{
    static const std::size_t sizes[] = {2 << 10, 64 << 10, 1 << 20, 8 << 20};
    return fakePng(n % 5, sizes[n % 4]);
}

} // namespace

// Two servers on one database and one bucket, a client alternating between them, and one of
// them killed mid-upload and at each point of an upload or a delete where a crash could
// leave the database and the bucket apart.
TEST(TwoServers, killingOneAtAnyPointLosesNoAnsweredUploadAndLeavesNoStray)
{
    if (!onPostgres())
        GTEST_SKIP() << "servers share a PostgreSQL database only";
    if (!S3StandIn::available())
        GTEST_SKIP() << "Node 20 or later needed for the S3 stand-in";
    S3StandIn s3;
    TempDir dirA;
    TempDir dirB;
    const std::vector<std::string> shared{"--database", testDatabaseUrl(dirA.path()), "--storage",
                                          s3.storageUrl()};
    auto a = std::make_unique<ServerProcess>(dirA.path(), shared);
    std::unique_ptr<ServerProcess> b;
    std::vector<Account> accounts(3);
    for (std::size_t i = 0; i < accounts.size(); ++i) {
        httplib::Client client = a->client();
        accounts[i].token = registerUser(client, "user" + std::to_string(i));
    }

    const char* faults[] = {"mid-upload", "after-put", "after-commit", "after-delete-commit"};
    int n = 0;
    for (const char* fault : faults) {
        SCOPED_TRACE(fault);
        b.reset(); // one server per data folder
        ::setenv("GLIMRA_FAULT_POINT", fault, 1);
        b = std::make_unique<ServerProcess>(dirB.path(), shared);
        ::unsetenv("GLIMRA_FAULT_POINT");
        std::thread cut;
        if (std::string(fault) == "mid-upload")
            cut = std::thread([&] {
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
                b->stop(SIGKILL);
            });
        for (int round = 0; round < 6; ++round, ++n) {
            Account& account = accounts[static_cast<std::size_t>(n) % accounts.size()];
            httplib::Client client = (n % 2 ? b : a)->client();
            const std::string bytes = contentFor(n);
            const Reply reply = upload(client, account.token, bytes);
            if (reply.ok())
                account.answered[reply.body["screenshot"]["id"]] = bytes;
            if (std::string(fault) == "after-delete-commit" && reply.ok() && n % 2) {
                const std::int64_t id = reply.body["screenshot"]["id"];
                const Reply gone =
                    post(client, kSync,
                         {{"action", "delete"}, {"token", account.token}, {"screenshot_id", id}});
                // Killed after the commit: the delete happened, unanswered.
                account.answered.erase(id);
                EXPECT_FALSE(gone.ok());
            }
        }
        if (cut.joinable())
            cut.join();
        b->stop(SIGKILL);
        b = std::make_unique<ServerProcess>(dirB.path(), shared);

        std::vector<std::string> sweep{"sweep", "--grace", "0", "--data", dirA.path().string()};
        sweep.insert(sweep.end(), shared.begin(), shared.end());
        const RunResult swept = runServerCommand(sweep);
        EXPECT_EQ(swept.status, 0) << swept.out;
        std::set<std::string> contents;
        for (const Account& account : accounts) {
            httplib::Client fromA = a->client();
            httplib::Client fromB = b->client();
            const json listed = listing(fromA, account.token);
            EXPECT_EQ(listing(fromB, account.token), listed);
            std::set<std::int64_t> ids;
            for (const json& record : listed) {
                ids.insert(record["id"].get<std::int64_t>());
                contents.insert(account.token + record["filename"].get<std::string>());
                // No record without its object, whichever server is asked.
                for (httplib::Client* client : {&fromA, &fromB})
                    EXPECT_EQ(download(*client, account.token, record["id"]).status, 200);
            }
            for (const auto& [id, bytes] : account.answered) {
                EXPECT_TRUE(ids.contains(id)) << "answered 200 but not listed: " << id;
                for (httplib::Client* client : {&fromA, &fromB})
                    EXPECT_TRUE(download(*client, account.token, id).raw == bytes) << id;
            }
        }
        EXPECT_EQ(s3.keys().size(), contents.size()) << swept.out;
    }
}
