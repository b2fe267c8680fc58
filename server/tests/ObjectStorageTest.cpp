// SPDX-License-Identifier: GPL-3.0-or-later
#include "ServerProcess.h"

#include <gtest/gtest.h>

#include <set>

using namespace glimra::server::test;

namespace {

std::string healthz(ServerProcess& server)
{
    const auto result = server.client().Get("/healthz");
    return result ? std::to_string(result->status) : "no answer";
}

// Every record downloads byte-exact from the bucket, and after a sweep without grace the
// bucket holds exactly one object per content the records name.
void expectBucketMatchesRecords(S3StandIn& s3, const TempDir& dir, ServerProcess& server,
                                const std::string& token,
                                const std::map<std::int64_t, std::string>& expected)
{
    const RunResult swept = runServerCommand(
        {"sweep", "--grace", "0", "--data", dir.path().string(), "--storage", s3.storageUrl()});
    EXPECT_EQ(swept.status, 0) << swept.out;
    httplib::Client client = server.client();
    std::set<std::string> contents;
    for (const json& record : listing(client, token)) {
        const std::int64_t id = record["id"];
        ASSERT_TRUE(expected.contains(id)) << "a record nobody was told about: " << id;
        EXPECT_TRUE(download(client, token, id).raw == expected.at(id)) << id;
        contents.insert(record["filename"].get<std::string>());
    }
    EXPECT_EQ(s3.keys().size(), contents.size()) << swept.out;
}

} // namespace

TEST(ObjectStorage, screenshotsAndTheirLinksLiveInTheBucket)
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
    const json link =
        post(client, kSync, {{"action", "share"}, {"token", token}, {"screenshot_id", ids[2]}})
            .body["share"];
    const auto shared = client.Get("/s/" + link["id"].get<std::string>());
    ASSERT_TRUE(shared);
    EXPECT_TRUE(shared->body == small);

    for (const std::size_t left : {2u, 1u}) {
        const std::int64_t id = ids[left == 2 ? 0 : 2];
        EXPECT_TRUE(
            post(client, kSync, {{"action", "delete"}, {"token", token}, {"screenshot_id", id}})
                .ok());
        EXPECT_EQ(s3.keys().size(), left) << "an object goes with its last record";
    }
    EXPECT_EQ(healthz(server), "200");
    s3.stop();
    EXPECT_EQ(healthz(server), "503");
}

TEST(ObjectStorage, aCrashAtAnyPointLeavesNothingTheSweeperCannotAccountFor)
{
    if (!S3StandIn::available())
        GTEST_SKIP() << "Node 20 or later needed for the S3 stand-in";
    S3StandIn s3;
    TempDir dir;
    const std::vector<std::string> args{"--storage", s3.storageUrl()};
    std::map<std::int64_t, std::string> stored; // what each record must hold
    std::string token;
    {
        ServerProcess server(dir.path(), args);
        httplib::Client client = server.client();
        token = registerUser(client, "alice");
        const Reply kept = upload(client, token, fakePng(100));
        stored[kept.body["screenshot"]["id"]] = fakePng(100);
    }
    const struct {
        const char* point;
        bool deletes; // the crash comes in a delete, not an upload
    } cases[] = {{"after-put", false}, {"after-commit", false}, {"after-delete-commit", true}};
    int seed = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.point);
        const std::string bytes = fakePng(++seed, 1 << 20);
        ::setenv("GLIMRA_FAULT_POINT", c.point, 1);
        ServerProcess doomed(dir.path(), args);
        ::unsetenv("GLIMRA_FAULT_POINT");
        httplib::Client client = doomed.client();
        const Reply reply = upload(client, token, bytes);
        if (c.deletes) {
            ASSERT_TRUE(reply.ok()) << reply.raw;
            const std::int64_t id = reply.body["screenshot"]["id"];
            post(client, kSync, {{"action", "delete"}, {"token", token}, {"screenshot_id", id}});
        } else {
            EXPECT_EQ(reply.status, 0) << "killed before it could answer";
        }
        EXPECT_EQ(doomed.stop(0), 128 + SIGKILL);

        ServerProcess server(dir.path(), args);
        httplib::Client again = server.client();
        // Committed but never answered: the record stands, with its bytes.
        if (std::string(c.point) == "after-commit")
            stored[listing(again, token)[0]["id"]] = bytes;
        expectBucketMatchesRecords(s3, dir, server, token, stored);
        EXPECT_EQ(listing(again, token).size(), stored.size());
    }
}
