// SPDX-License-Identifier: GPL-3.0-or-later
#include "ServerProcess.h"

#include <gtest/gtest.h>

#include <fstream>
#include <thread>

using namespace glimra::server::test;

TEST(ObjectStorage, screenshotsLiveInTheBucketWithEitherDatabase)
{
    if (!S3StandIn::available())
        GTEST_SKIP() << "Node 20 or later needed for the S3 stand-in";
    S3StandIn s3;
    TempDir dir;
    ServerProcess server(dir.path(), {"--storage", s3.storageUrl()});
    httplib::Client client = server.client();
    const std::string token = registerUser(client, "alice");
    const std::string small = fakePng(1);
    const std::string large = fakePng(2, 3 << 20);
    std::vector<std::int64_t> ids;
    for (const std::string* bytes : {&small, &large, &small}) {
        const Reply reply = upload(client, token, *bytes);
        ASSERT_TRUE(reply.ok()) << reply.raw;
        ids.push_back(reply.body["screenshot"]["id"]);
    }
    EXPECT_EQ(s3.keys().size(), 2u) << "the same bytes are stored once";
    EXPECT_TRUE(download(client, token, ids[1]).raw == large);

    for (const std::size_t left : {2u, 1u}) {
        const std::int64_t id = ids[left == 2 ? 0 : 2];
        EXPECT_TRUE(
            post(client, kSync, {{"action", "delete"}, {"token", token}, {"screenshot_id", id}})
                .ok());
        EXPECT_EQ(s3.keys().size(), left) << "an object goes with its last record";
    }
    EXPECT_EQ(server.client().Get("/healthz")->status, 200);
    s3.stop();
    EXPECT_EQ(server.client().Get("/healthz")->status, 503);
}

TEST(ObjectStorage, aDataFolderMovesToADatabaseAndABucketAndCanResume)
{
    if (!onPostgres() || !S3StandIn::available())
        GTEST_SKIP() << "needs the PostgreSQL rows and Node 20 or later for the S3 stand-in";
    S3StandIn s3;
    TempDir old;
    std::string alice;
    json before;
    std::vector<std::string> links;
    {
        const std::string cluster = std::getenv("GLIMRA_TEST_TEAM");
        ::unsetenv("GLIMRA_TEST_TEAM"); // the folder to move keeps SQLite and its files
        ServerProcess server(old.path());
        ::setenv("GLIMRA_TEST_TEAM", cluster.c_str(), 1);
        httplib::Client client = server.client();
        alice = registerUser(client, "alice");
        const std::string bob = registerUser(client, "bob");
        std::vector<std::pair<std::string, std::int64_t>> ids;
        for (const auto& [token, seed] : {std::pair{alice, 1}, {alice, 2}, {alice, 1}, {bob, 3}}) {
            const Reply reply = upload(client, token, fakePng(seed), std::to_string(seed) + ".png");
            ASSERT_TRUE(reply.ok());
            ids.emplace_back(token, reply.body["screenshot"]["id"]);
        }
        // Links to alice's first screenshot and to bob's, whose file will not pass its check.
        for (const std::size_t i : {0u, 3u}) {
            const Reply shared = post(
                client, kSync,
                {{"action", "share"}, {"token", ids[i].first}, {"screenshot_id", ids[i].second}});
            links.push_back(shared.body["share"]["id"]);
        }
        before = listing(client, alice);
    }
    // One file that no longer matches its hash is left out and reported, never copied.
    for (const fs::path& file : filesUnder(old.path() / "blobs" / "2"))
        std::ofstream(file, std::ios::app) << "rot";
    TempDir fresh;
    const std::string database = testDatabaseUrl(fresh.path());
    const std::vector<std::string> move{"migrate",       "--from", old.path().string(),
                                        "--to-database", database, "--to-storage",
                                        s3.storageUrl()};
    for (const char* expected :
         {"copied 3 screenshots, found 0 there already; copied 1 share links, found 0",
          "copied 0 screenshots, found 3 there already; copied 0 share links, found 1"}) {
        const RunResult moved = runServerCommand(move);
        EXPECT_EQ(moved.status, 1);
        EXPECT_NE(moved.out.find(expected), std::string::npos) << moved.out;
    }
    EXPECT_EQ(s3.keys().size(), 2u);

    ServerProcess server(fresh.path(), {"--database", database, "--storage", s3.storageUrl()});
    httplib::Client client = server.client();
    const json after = listing(client, alice); // still signed in
    ASSERT_EQ(after.size(), before.size());
    for (std::size_t i = 0; i < after.size(); ++i) {
        for (const char* key : {"original_filename", "file_size", "uploaded_at", "filename"})
            EXPECT_EQ(after[i][key], before[i][key]) << key;
        EXPECT_EQ(download(client, alice, after[i]["id"]).raw,
                  fakePng(after[i]["original_filename"] == "2.png" ? 2 : 1));
    }
    // The link handed out before the move goes on working; the one left out does not.
    const auto kept = client.Get("/s/" + links[0]);
    EXPECT_TRUE(kept && kept->status == 200 && kept->body == fakePng(1));
    EXPECT_EQ(client.Get("/s/" + links[1])->status, 404);
}

TEST(ObjectStorage, aSweepSeesEveryObjectOfABucketListedInManyLongPages)
{
    if (!onPostgres() || !S3StandIn::available())
        GTEST_SKIP() << "needs the PostgreSQL rows and Node 20 or later for the S3 stand-in";
    TempDir dir;
    ServerProcess server(dir.path());
    httplib::Client client = server.client();
    const std::string token = registerUser(client, "alice");
    // 1,200 keys: two pages of the listing, each far longer than a short answer.
    std::vector<std::thread> uploaders;
    for (int t = 0; t < 4; ++t)
        uploaders.emplace_back([&, t] {
            httplib::Client mine = server.client();
            for (int i = t; i < 1200; i += 4)
                EXPECT_TRUE(upload(mine, token, fakePng(i, 64)).ok());
        });
    for (std::thread& t : uploaders)
        t.join();
    const RunResult swept =
        runServerCommand({"sweep", "--grace", "0", "--data", dir.path().string()});
    EXPECT_EQ(swept.status, 0) << "a row reported without its object";
    EXPECT_EQ(storedObjects(dir.path()).size(), 1200u);
}
