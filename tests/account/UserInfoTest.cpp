#include "account/UserInfo.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

using glimra::UserInfo;

namespace {

UserInfo parse(const char* json)
{
    return UserInfo::fromJson(QJsonDocument::fromJson(json).object());
}

} // namespace

TEST(UserInfo, ReadsAllFiveMembers)
{
    const UserInfo user = parse(R"({"id":12,"username":"ann","email":"a@x.org",
        "screenshot_count":0,"storage_used_bytes":9007199254740993,"extra":true})");
    EXPECT_EQ(user.id, 12);
    EXPECT_EQ(user.username, QStringLiteral("ann"));
    EXPECT_EQ(user.email, QStringLiteral("a@x.org"));
    EXPECT_EQ(user.screenshotCount, 0) << "a reported 0 is not an absent count";
    EXPECT_EQ(user.storageUsedBytes, 9007199254740993LL) << "beyond a double's precision";
}

TEST(UserInfo, MissingOrMistypedMembersFallBack)
{
    EXPECT_EQ(parse("{}"), UserInfo{});
    const UserInfo user = parse(R"({"id":"12","username":5,"email":null,
        "screenshot_count":"3","storage_used_bytes":1.5})");
    EXPECT_EQ(user, UserInfo{});
    EXPECT_FALSE(user.screenshotCount);
    EXPECT_FALSE(user.storageUsedBytes);
    EXPECT_EQ(parse(R"({"id":1e30})").id, 0) << "too large for 64 bits";
    EXPECT_EQ(parse(R"({"id":-7})").id, -7);
}
