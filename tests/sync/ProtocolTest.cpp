#include "sync/Protocol.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>

#include <gtest/gtest.h>

using namespace glimra::sync;

namespace {

Transfer body(const QByteArray& bytes, std::optional<int> status = 200)
{
    return Transfer{std::nullopt, bytes, status};
}

const Transfer kFailed{QStringLiteral("Connection refused"), std::nullopt, std::nullopt};
const Transfer kNoBody{std::nullopt, std::nullopt, 200};
const QByteArray kHtml = "<html><body><h1>502 Bad Gateway</h1></body></html>";

} // namespace

TEST(Protocol, OnlyTrueOrTheNumberOneCountAsSuccess)
{
    for (const char* json : {R"({"success":true})", R"({"success":1})", R"({"success":1.0})"})
        EXPECT_TRUE(isSuccessReply(QJsonDocument::fromJson(json).object())) << json;
    for (const char* json :
         {R"({"success":"true"})", R"({"success":2})", R"({"success":0})", R"({"success":false})",
          R"({})", R"({"success":null})", R"({"success":[true]})", R"({"success":0.999})"})
        EXPECT_FALSE(isSuccessReply(QJsonDocument::fromJson(json).object())) << json;
}

TEST(Protocol, AuthReplyFailuresCarryTheMessageOfTheirStage)
{
    const auto message = [](AuthAction action, const Transfer& t) {
        const AuthReply reply = decodeAuthReply(action, t);
        EXPECT_FALSE(reply.ok);
        EXPECT_FALSE(reply.user);
        return reply.text.value_or(QStringLiteral("<none>"));
    };
    EXPECT_EQ(message(AuthAction::Login, kFailed), u"Connection refused");
    EXPECT_EQ(message(AuthAction::Login, kNoBody), u"No data received");
    EXPECT_EQ(message(AuthAction::Login, body(kHtml, 502)), u"Invalid server response");
    EXPECT_EQ(message(AuthAction::Login, body("[1,2]")), u"Invalid server response");
    EXPECT_EQ(message(AuthAction::Login, body("")), u"Invalid server response");
    // A token does not rescue a reply whose success flag is the wrong type.
    EXPECT_EQ(message(AuthAction::Login, body(R"({"success":"true","token":"t"})")),
              u"Login failed");
    EXPECT_EQ(message(AuthAction::Register, body(R"({"success":false})")), u"Registration failed");
    EXPECT_EQ(message(AuthAction::Register, body(R"({"success":false,"error":"Name taken"})")),
              u"Name taken");
    EXPECT_EQ(message(AuthAction::Login, body(R"({"success":false,"error":42})")), u"Login failed");
    // The status code is never looked at: the body alone decides.
    EXPECT_EQ(message(AuthAction::Login, body(R"({"success":false,"error":"Bad password"})", 401)),
              u"Bad password");
}

TEST(Protocol, AuthReplySuccessPassesTokenAndRecordWithFallbacks)
{
    AuthReply reply = decodeAuthReply(
        AuthAction::Login, body(R"({"success":true,"token":"abc","user":{"id":3}})", 500));
    EXPECT_TRUE(reply.ok);
    EXPECT_EQ(reply.text, u"abc");
    EXPECT_EQ(reply.user->value(QLatin1StringView("id")).toInt(), 3);

    reply = decodeAuthReply(AuthAction::Register, body(R"({"success":1,"token":7,"user":"x"})"));
    EXPECT_TRUE(reply.ok);
    EXPECT_FALSE(reply.text) << "a token that is not a string is no token";
    EXPECT_EQ(reply.user, QJsonObject());
}

TEST(Protocol, ValidateAndListFailWithoutMessages)
{
    for (const Transfer& t : {kFailed, kNoBody, body(kHtml), body(R"({"success":false})")}) {
        EXPECT_FALSE(decodeValidateReply(t).ok);
        EXPECT_FALSE(decodeListReply(t).ok);
        EXPECT_FALSE(decodeListReply(t).screenshots);
    }
    const ValidateReply valid = decodeValidateReply(body(R"({"success":true})"));
    EXPECT_TRUE(valid.ok);
    EXPECT_EQ(valid.user, QJsonObject());
}

TEST(Protocol, ListingMustBeAnArrayOfObjectsThroughout)
{
    EXPECT_FALSE(decodeListReply(body(R"({"success":true})")).ok);
    EXPECT_FALSE(decodeListReply(body(R"({"success":true,"screenshots":{}})")).ok);
    EXPECT_FALSE(decodeListReply(body(R"({"success":true,"screenshots":[{"id":1},2]})")).ok);

    const ListReply empty = decodeListReply(body(R"({"success":true,"screenshots":[]})"));
    ASSERT_TRUE(empty.ok);
    EXPECT_TRUE(empty.screenshots->isEmpty());

    const ListReply two =
        decodeListReply(body(R"({"success":1,"screenshots":[{"id":9},{"id":4}]})"));
    ASSERT_TRUE(two.ok);
    ASSERT_EQ(two.screenshots->size(), 2);
    EXPECT_EQ(two.screenshots->at(0).value(QLatin1StringView("id")).toInt(), 9);
    EXPECT_EQ(two.screenshots->at(1).value(QLatin1StringView("id")).toInt(), 4);
}

TEST(Protocol, UploadAndDeleteMessages)
{
    EXPECT_EQ(decodeUploadReply(kNoBody).message, u"Upload failed");
    EXPECT_EQ(decodeUploadReply(body(kHtml)).message, u"Invalid server response");
    EXPECT_EQ(decodeUploadReply(body(R"({"success":false})")).message, u"Upload failed");
    EXPECT_EQ(decodeUploadReply(kFailed).message, u"Connection refused");
    const UploadReply noRecord = decodeUploadReply(body(R"({"success":true,"screenshot":[1]})"));
    EXPECT_TRUE(noRecord.ok);
    EXPECT_FALSE(noRecord.screenshot);
    EXPECT_FALSE(noRecord.message);

    EXPECT_EQ(decodeDeleteReply(kNoBody).message, u"Delete failed");
    EXPECT_EQ(decodeDeleteReply(body(kHtml)).message, u"Delete failed");
    EXPECT_EQ(decodeDeleteReply(body(R"({"success":false,"error":"Gone"})")).message, u"Gone");
    const DeleteReply deleted = decodeDeleteReply(body(R"({"success":true})"));
    EXPECT_TRUE(deleted.ok);
    EXPECT_FALSE(deleted.message);
}

TEST(Protocol, DownloadClassification)
{
    const auto failure = [](const Transfer& t) {
        const DownloadReply reply = classifyDownload(t);
        EXPECT_FALSE(reply.ok);
        EXPECT_FALSE(reply.data);
        return reply.message.value_or(QStringLiteral("<none>"));
    };
    EXPECT_EQ(failure(kFailed), u"Connection refused");
    EXPECT_EQ(failure(kNoBody), u"Download failed");
    EXPECT_EQ(failure(body(QByteArray(5000, 'x'), 404)), u"Download failed (HTTP 404)");
    EXPECT_EQ(failure(body("", 204)), u"Download failed (HTTP 204)");
    EXPECT_EQ(failure(body("File not found")), u"File not found");
    EXPECT_EQ(failure(body("Unauthorized")), u"Unauthorized");
    EXPECT_EQ(failure(body("Invalid id \xc3\xa9")), u"Invalid id \u00e9");

    const QByteArray notFound199 = "not found" + QByteArray(190, ' ');
    EXPECT_EQ(failure(body(notFound199)), QString::fromLatin1(notFound199));
    const QByteArray notFound200 = notFound199 + ' ';
    EXPECT_EQ(classifyDownload(body(notFound200)).data, notFound200);

    // Marker tests are case-sensitive, and bytes that are not UTF-8 are image data.
    EXPECT_TRUE(classifyDownload(body("Not Found")).ok);
    EXPECT_TRUE(classifyDownload(body("\xff\xd8 not found")).ok);
    const DownloadReply empty = classifyDownload(body(""));
    EXPECT_TRUE(empty.ok);
    EXPECT_EQ(empty.data->size(), 0);
    // A reply that was not HTTP at all has no status to reject.
    EXPECT_TRUE(classifyDownload(body("\x89PNG", std::nullopt)).ok);
}

TEST(Protocol, OnlyEncryptedOrLocalEndpointsAreUsed)
{
    EXPECT_EQ(endpointUrl(QStringLiteral("https://glimra.example"), kAuthPath),
              QUrl(QStringLiteral("https://glimra.example/glimra/api/auth.php")));
    EXPECT_EQ(endpointUrl(QStringLiteral(" https://glimra.example:8443/ "), kSyncPath),
              QUrl(QStringLiteral("https://glimra.example:8443/glimra/api/sync.php")));
    for (const char* origin : {"http://localhost:8787", "http://LOCALHOST", "http://127.0.0.1",
                               "http://127.3.4.5:80", "http://[::1]:8787"})
        EXPECT_TRUE(endpointUrl(QString::fromLatin1(origin), kAuthPath)) << origin;
    for (const char* origin :
         {"http://glimra.example", "http://10.0.0.1:8787", "http://127.0.0.1.example.com",
          "http://localhost.example", "http://[::2]", "ftp://localhost", "file:///tmp",
          "localhost:8787", "not a url", "", "https://", "https://host/?a=b", "https://h/#x",
          "http://localhost@evil.example"})
        EXPECT_FALSE(endpointUrl(QString::fromLatin1(origin), kAuthPath)) << origin;
}

TEST(Protocol, DownloadQueryEncodesEveryReservedByte)
{
    const QUrl url = downloadUrl(QUrl(QStringLiteral("https://h/glimra/api/sync.php")),
                                 QStringLiteral("a+b/c=d&e f%\u00e9"), 42);
    EXPECT_EQ(url.toEncoded(), "https://h/glimra/api/sync.php"
                               "?action=download&token=a%2Bb%2Fc%3Dd%26e%20f%25%C3%A9&id=42");
}

TEST(Protocol, MultipartBodyLayout)
{
    const QString boundary = QStringLiteral("0A1B2C3D-0000-4000-8000-00000000ABCD");
    const QByteArray file("\x89PNG\r\n\x1a\n\0tail", 13);
    const QByteArray expected =
        "--0A1B2C3D-0000-4000-8000-00000000ABCD\r\n"
        "Content-Disposition: form-data; name=\"token\"\r\n\r\n"
        "t\xc3\xb6k\r\n"
        "--0A1B2C3D-0000-4000-8000-00000000ABCD\r\n"
        "Content-Disposition: form-data; name=\"action\"\r\n\r\n"
        "upload\r\n"
        "--0A1B2C3D-0000-4000-8000-00000000ABCD\r\n"
        "Content-Disposition: form-data; name=\"capture_type\"\r\n\r\n"
        "selection\r\n"
        "--0A1B2C3D-0000-4000-8000-00000000ABCD\r\n"
        "Content-Disposition: form-data; name=\"original_filename\"\r\n\r\n"
        "Glimra_2024-01-02_03-04-05.png\r\n"
        "--0A1B2C3D-0000-4000-8000-00000000ABCD\r\n"
        "Content-Disposition: form-data; name=\"file\"; filename=\"Glimra_2024-01-02_03-04-05.png\""
        "\r\n"
        "Content-Type: image/png\r\n\r\n" +
        file +
        "\r\n"
        "--0A1B2C3D-0000-4000-8000-00000000ABCD--\r\n";
    EXPECT_EQ(multipartBody(boundary, QStringLiteral("t\u00f6k"), QStringLiteral("selection"),
                            QStringLiteral("Glimra_2024-01-02_03-04-05.png"), file),
              expected);
}

TEST(Protocol, MultipartFileNameCannotForgeHeadersOrFields)
{
    const QByteArray body =
        multipartBody(QStringLiteral("B"), QStringLiteral("t"), QStringLiteral("window"),
                      QStringLiteral("a\"b\r\nX-Evil: 1.png"), "data");
    EXPECT_TRUE(body.contains("; filename=\"a%22b%0D%0AX-Evil: 1.png\"\r\n"));
    // The value of the plain field is body text, where the name travels unchanged.
    EXPECT_TRUE(body.contains("name=\"original_filename\"\r\n\r\na\"b\r\nX-Evil: 1.png\r\n"));
}

TEST(Protocol, MediaTypeAndBoundary)
{
    EXPECT_EQ(mediaTypeForFileName(QStringLiteral("shot.JPG")), u"image/jpeg");
    EXPECT_EQ(mediaTypeForFileName(QStringLiteral("shot.jpeg")), u"image/jpeg");
    EXPECT_EQ(mediaTypeForFileName(QStringLiteral("shot.tiff")), u"image/png");
    EXPECT_EQ(mediaTypeForFileName(QStringLiteral("shot")), u"image/png");
    EXPECT_EQ(mediaTypeForFileName(QStringLiteral("jpg")), u"image/png");
    EXPECT_EQ(mediaTypeForFileName(QStringLiteral("shot.jpg.png")), u"image/png");

    const QRegularExpression form(
        QStringLiteral("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$"));
    const QString first = newBoundary();
    EXPECT_TRUE(form.match(first).hasMatch()) << first.toStdString();
    EXPECT_NE(first, newBoundary());
}
