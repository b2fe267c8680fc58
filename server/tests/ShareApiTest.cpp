// SPDX-License-Identifier: GPL-3.0-or-later
#include "ServerProcess.h"

#include <gtest/gtest.h>

#include <thread>

using namespace glimra::server::test;

namespace {

struct Fixture {
    TempDir dir;
    ServerProcess server;
    httplib::Client client;
    std::string alice;
    std::string bob;

    explicit Fixture(std::vector<std::string> args = {})
        : server(dir.path(), std::move(args)), client(server.client()),
          alice(registerUser(client, "alice")), bob(registerUser(client, "bob"))
    {}

    std::int64_t uploaded(const std::string& token, int seed)
    {
        return upload(client, token, fakePng(seed), "Glimra_" + std::to_string(seed) + ".png")
            .body["screenshot"]["id"];
    }
    Reply share(const std::string& token, std::int64_t id, const json& expiresIn = nullptr)
    {
        json body{{"action", "share"}, {"token", token}, {"screenshot_id", id}};
        if (!expiresIn.is_null())
            body["expires_in"] = expiresIn;
        return post(client, kSync, body);
    }
    Reply unshare(const std::string& token, const char* key, const json& value)
    {
        return post(client, kSync, {{"action", "unshare"}, {"token", token}, {key, value}});
    }
    // Fetched by someone with no account: no token, a connection of its own.
    httplib::Result open(const std::string& path, const httplib::Headers& headers = {})
    {
        return server.client().Get(path, headers);
    }
};

std::string pathOf(const json& share)
{
    return "/s/" + share["id"].get<std::string>();
}

} // namespace

TEST(ShareApi, aLinkServesThePictureToAnyoneUntilItsOwnerRevokesIt)
{
    Fixture f({"--public-url", "https://shots.example.org/team/"});
    const std::int64_t id = f.uploaded(f.alice, 1);
    const Reply made = f.share(f.alice, id, 604800);
    ASSERT_TRUE(made.ok()) << made.raw;
    const json link = made.body["share"];
    const std::string linkId = link["id"];
    EXPECT_GE(linkId.size(), 22u);
    EXPECT_EQ(link["url"], "https://shots.example.org/team/s/" + linkId);
    EXPECT_TRUE(link["expires_at"].is_string());
    EXPECT_NE(f.share(f.alice, id).body["share"]["id"], linkId); // a second, independent link

    const auto picture = f.open(pathOf(link));
    EXPECT_EQ(picture->status, 200);
    EXPECT_EQ(picture->body, fakePng(1));
    EXPECT_EQ(picture->get_header_value("Content-Type"), "image/png");
    EXPECT_EQ(picture->get_header_value("X-Content-Type-Options"), "nosniff");
    EXPECT_EQ(picture->get_header_value("Content-Disposition")
                  .rfind("inline; filename=\"Glimra_1.png\"", 0),
              0u);
    EXPECT_EQ(picture->get_header_value("Cache-Control").rfind("private", 0), 0u);
    const std::string tag = picture->get_header_value("ETag");
    ASSERT_EQ(tag.size(), 66u);
    const auto again = f.open(pathOf(link), {{"If-None-Match", "\"other\", " + tag}});
    EXPECT_EQ(again->status, 304);
    EXPECT_EQ(again->body, "");

    // Only the owner sees or revokes the links; to anyone else the ids do not exist.
    const json listed = listing(f.client, f.alice);
    ASSERT_EQ(listed[0]["shares"].size(), 2u);
    EXPECT_EQ(listed[0]["shares"][0], link);
    EXPECT_EQ(f.share(f.bob, id).error(), "Screenshot not found");
    EXPECT_EQ(f.unshare(f.bob, "share_id", linkId).error(), "Share link not found");
    EXPECT_EQ(f.unshare(f.bob, "screenshot_id", id).error(), "Screenshot not found");
    EXPECT_EQ(f.open(pathOf(link))->status, 200);

    EXPECT_EQ(f.unshare(f.alice, "share_id", linkId).body["revoked"], 1);
    EXPECT_EQ(f.open(pathOf(link))->status, 404);
    EXPECT_EQ(f.open(pathOf(link), {{"If-None-Match", tag}})->status, 404);
    EXPECT_EQ(listing(f.client, f.alice)[0]["shares"].size(), 1u);
    EXPECT_EQ(f.unshare(f.alice, "share_id", linkId).error(), "Share link not found");

    // Lifetimes that are no number of seconds, or none that can be added to a time.
    for (const json& lifetime : {json(0), json(-60), json("7d"), json(1.5), json(1e12)})
        EXPECT_EQ(f.share(f.alice, id, lifetime).status, 400) << lifetime;
    EXPECT_EQ(f.share(std::string(64, 'f'), id).status, 401);
    EXPECT_EQ(post(f.client, kSync, {{"action", "unshare"}, {"token", f.alice}}).status, 400);
}

TEST(ShareApi, deadAndUnknownLinksAreAnsweredAlike)
{
    Fixture f;
    const std::int64_t kept = f.uploaded(f.alice, 1);
    const std::int64_t doomed = f.uploaded(f.alice, 2);
    const json live = f.share(f.alice, kept).body["share"];
    EXPECT_EQ(live["url"], "http://127.0.0.1:" + std::to_string(f.server.port()) + pathOf(live));
    EXPECT_TRUE(live["expires_at"].is_null());
    const json expiring = f.share(f.alice, kept, 1).body["share"];
    const json revokedAll = f.share(f.alice, doomed).body["share"];
    ASSERT_TRUE(f.unshare(f.alice, "screenshot_id", doomed).ok());
    const std::int64_t deleted = f.uploaded(f.bob, 3);
    const json ofDeleted = f.share(f.bob, deleted).body["share"];
    ASSERT_TRUE(
        post(f.client, kSync, {{"action", "delete"}, {"token", f.bob}, {"screenshot_id", deleted}})
            .ok());
    std::this_thread::sleep_for(std::chrono::milliseconds(2100));

    const auto unknown = f.open("/s/AAAAAAAAAAAAAAAAAAAAAA");
    EXPECT_EQ(unknown->status, 404);
    const std::string paths[] = {
        pathOf(expiring),     pathOf(revokedAll),  pathOf(ofDeleted),
        pathOf(live) + "/",   pathOf(live) + "x!", "/s/",
        "/s/../glimra/api/x", "/s/%41%41",         "/s/" + std::string(300, 'A')};
    for (const std::string& path : paths) {
        const auto dead = f.open(path);
        EXPECT_EQ(dead->status, 404) << path;
        EXPECT_EQ(dead->body, unknown->body) << path;
        EXPECT_EQ(dead->get_header_value("Content-Type"), unknown->get_header_value("Content-Type"))
            << path;
    }
    EXPECT_EQ(f.open(pathOf(live))->status, 200);
    const json listed = listing(f.client, f.alice);
    EXPECT_EQ(listed[1]["shares"], json::array({live}));
    EXPECT_EQ(listed[0]["shares"], json::array());
}
