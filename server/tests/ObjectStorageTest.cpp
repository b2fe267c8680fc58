// SPDX-License-Identifier: GPL-3.0-or-later
#include "ServerProcess.h"

#include <gtest/gtest.h>

using namespace glimra::server::test;

namespace {

std::string healthz(ServerProcess& server)
{
    const auto result = server.client().Get("/healthz");
    return result ? std::to_string(result->status) : "no answer";
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
