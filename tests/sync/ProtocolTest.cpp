// SPDX-License-Identifier: GPL-3.0-or-later
// The decoding rules the local server cannot easily provoke; the rest is covered against it.
#include "sync/Protocol.h"

#include "TestSupport.h"

using namespace glimra::sync;

namespace {

Transfer reply(const QByteArray& body, std::optional<int> status = 200)
{
    return Transfer{std::nullopt, body, status};
}

} // namespace

TEST(Protocol, FailuresKeepTheirMessagesAndOnlyErrorLikeShortTextDownloadsAreErrors)
{
    const Transfer nothing{std::nullopt, std::nullopt, 200};
    EXPECT_EQ(decodeAuthReply(AuthAction::Login, nothing).text, u"No data received");
    EXPECT_EQ(decodeAuthReply(AuthAction::Login, reply(R"({"success":2,"error":4})")).text,
              u"Login failed");
    EXPECT_EQ(decodeDeleteReply(reply(R"({"error":"Gone"})")).message, u"Gone");
    // One entry that is not an object spoils the listing: a partial list would make the sync
    // engine download files the server has.
    EXPECT_FALSE(decodeListReply(reply(R"({"success":1,"screenshots":[{"id":1},2]})")).ok);

    // Short plain-text downloads are errors only when they look like one.
    const QByteArray notFound199 = "not found" + QByteArray(190, ' ');
    EXPECT_EQ(classifyDownload(reply(notFound199)).message, QString::fromLatin1(notFound199));
    EXPECT_EQ(classifyDownload(reply("Invalid id \xc3\xa9")).message, u"Invalid id \u00e9");
    EXPECT_TRUE(classifyDownload(reply("Not Found")).ok) << "case-sensitive";
    EXPECT_TRUE(classifyDownload(reply("\xff\xd8 not found")).ok) << "not UTF-8: image data";
    EXPECT_EQ(classifyDownload(reply("")).data, QByteArray(""));
    EXPECT_EQ(classifyDownload(reply("", 204)).message, u"Download failed (HTTP 204)");
}

TEST(Protocol, PlainHttpOnlyToThisMachineAndNoForgedFormHeaders)
{
    EXPECT_EQ(endpointUrl(u" https://glimra.example:8443/ "_s, kSyncPath),
              QUrl(u"https://glimra.example:8443/glimra/api/sync.php"_s));
    for (const char* ok : {"http://LOCALHOST:8787", "http://127.3.4.5", "http://[::1]:8787"})
        EXPECT_TRUE(endpointUrl(QString::fromLatin1(ok), kAuthPath)) << ok;
    for (const char* bad : {"http://glimra.example", "http://10.0.0.1", "http://127.0.0.1.evil.com",
                            "http://localhost@evil.example", "http://[::2]", "ftp://localhost",
                            "localhost:8787", "not a url", "", "https://h/?a=b"})
        EXPECT_FALSE(endpointUrl(QString::fromLatin1(bad), kAuthPath)) << bad;

    // A quote or line break in a file name must not end the header and forge fields.
    EXPECT_TRUE(multipartBody(u"B"_s, {}, {}, u"a\"b\r\nX: 1.tiff"_s, {})
                    .contains("; filename=\"a%22b%0D%0AX: 1.tiff\"\r\nContent-Type: image/png"));
    EXPECT_TRUE(multipartBody(u"B"_s, {}, {}, u"a.JPeG"_s, {}).contains("image/jpeg\r\n"));
}
