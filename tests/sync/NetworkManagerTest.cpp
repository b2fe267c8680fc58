#include "sync/NetworkManager.h"

#include "TestServer.h"
#include "TestSupport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace glimra;
using namespace glimra::sync;
using glimra::test::TestServer;
using namespace std::chrono_literals;

namespace {

QJsonObject jsonOf(const std::string& body)
{
    return QJsonDocument::fromJson(QByteArray::fromStdString(body)).object();
}

QString qs(const char* text)
{
    return QString::fromUtf8(text);
}

class NetworkManagerTest : public ::testing::Test {
protected:
    // Runs one operation and checks that its completion runs exactly once.
    template <typename Reply, typename Start> Reply await(NetworkManager& manager, Start start)
    {
        int calls = 0;
        Reply result;
        start(manager, [&](const Reply& reply) {
            ++calls;
            result = reply;
        });
        EXPECT_EQ(calls, 0) << "completions never run inside the call";
        EXPECT_TRUE(test::waitUntil([&] { return calls > 0; }, 10s));
        test::processEvents(50ms);
        EXPECT_EQ(calls, 1);
        return result;
    }

    AuthReply login(NetworkManager& manager)
    {
        return await<AuthReply>(
            manager, [](NetworkManager& m, auto done) { m.login(qs("ann"), qs("pw"), done); });
    }
    ValidateReply validate(NetworkManager& manager)
    {
        return await<ValidateReply>(
            manager, [](NetworkManager& m, auto done) { m.validate(qs("tok"), done); });
    }
    ListReply list(NetworkManager& manager)
    {
        return await<ListReply>(manager, [](NetworkManager& m, auto done) {
            m.listServerScreenshots(qs("tok"), done);
        });
    }
    DeleteReply remove(NetworkManager& manager)
    {
        return await<DeleteReply>(manager, [](NetworkManager& m, auto done) {
            m.deleteServerScreenshot(qs("tok"), 42, done);
        });
    }
    UploadReply upload(NetworkManager& manager, const QString& path)
    {
        return await<UploadReply>(manager, [path](NetworkManager& m, auto done) {
            m.uploadScreenshot(qs("tok"), path, qs("window"), done);
        });
    }
    DownloadReply download(NetworkManager& manager, const QString& token = qs("tok"))
    {
        return await<DownloadReply>(manager, [token](NetworkManager& m, auto done) {
            m.downloadScreenshot(token, 7, done);
        });
    }

    QString writeFile(const QString& name, const QByteArray& bytes)
    {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }

    TestServer server;
    NetworkManager net{server.origin()};
    QTemporaryDir m_dir;
};

} // namespace

TEST_F(NetworkManagerTest, JsonRequestsSendExactlyTheirMembers)
{
    server.replyJson(R"({"success":true})");
    login(net);
    await<AuthReply>(net, [](NetworkManager& m, auto done) {
        m.registerAccount(qs("b\u00f6b"), qs("b@x.org"), qs("p\"w"), done);
    });
    validate(net);
    list(net);
    remove(net);

    const std::vector<TestServer::Request> requests = server.requests();
    ASSERT_EQ(requests.size(), 5u);
    const QJsonObject expected[] = {
        {{qs("action"), qs("login")}, {qs("username"), qs("ann")}, {qs("password"), qs("pw")}},
        {{qs("action"), qs("register")},
         {qs("username"), qs("b\u00f6b")},
         {qs("email"), qs("b@x.org")},
         {qs("password"), qs("p\"w")}},
        {{qs("action"), qs("validate")}, {qs("token"), qs("tok")}},
        {{qs("action"), qs("list")}, {qs("token"), qs("tok")}},
        {{qs("action"), qs("delete")}, {qs("token"), qs("tok")}, {qs("screenshot_id"), 42}},
    };
    const char* paths[] = {"/glimra/api/auth.php", "/glimra/api/auth.php", "/glimra/api/auth.php",
                           "/glimra/api/sync.php", "/glimra/api/sync.php"};
    for (std::size_t i = 0; i < requests.size(); ++i) {
        const TestServer::Request& r = requests[i];
        SCOPED_TRACE(r.body);
        EXPECT_EQ(r.method, "POST");
        EXPECT_EQ(r.target, paths[i]);
        EXPECT_EQ(r.contentType, "application/json");
        EXPECT_EQ(r.contentLength, static_cast<long long>(r.body.size()));
        EXPECT_EQ(r.body.find('\n'), std::string::npos) << "compact JSON";
        EXPECT_EQ(jsonOf(r.body), expected[i]);
        EXPECT_FALSE(r.hasAuthorization);
        EXPECT_FALSE(r.hasCookie);
    }
    // The id travels as a JSON integer, not as text or with a fraction.
    EXPECT_NE(requests[4].body.find(R"("screenshot_id":42)"), std::string::npos);
}

TEST_F(NetworkManagerTest, CookiesFromTheServerAreNeverSentBack)
{
    TestServer::Reply reply;
    reply.body = R"({"success":true})";
    reply.headers = {{"Set-Cookie", "session=abc; Path=/"}};
    server.reply(reply);
    login(net);
    login(net);
    EXPECT_FALSE(server.lastRequest().hasCookie);
}

TEST_F(NetworkManagerTest, UploadSendsTheFiveFieldsInOrder)
{
    server.replyJson(R"({"success":true,"screenshot":{"id":5}})");
    const QByteArray image("\x89PNG\r\n\x1a\n\0\r\n--not-a-boundary\r\n", 30);
    const UploadReply reply = upload(net, writeFile(qs("Glimra_2024-01-02_03-04-05.png"), image));
    EXPECT_TRUE(reply.ok);
    EXPECT_EQ(reply.screenshot->value(qs("id")).toInt(), 5);

    const TestServer::Request r = server.lastRequest();
    EXPECT_EQ(r.method, "POST");
    EXPECT_EQ(r.target, "/glimra/api/sync.php");
    const QRegularExpression form(qs("^multipart/form-data; boundary=([0-9A-F]{8}-[0-9A-F]{4}-"
                                     "[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12})$"));
    const auto match = form.match(QString::fromStdString(r.contentType));
    ASSERT_TRUE(match.hasMatch()) << r.contentType;

    // The parts as the server parsed them, in the order they came...
    ASSERT_EQ(r.parts.size(), 5u);
    const std::pair<const char*, std::string> fields[] = {
        {"token", "tok"},
        {"action", "upload"},
        {"capture_type", "window"},
        {"original_filename", "Glimra_2024-01-02_03-04-05.png"},
        {"file", image.toStdString()}};
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(r.parts[i].name, fields[i].first);
        EXPECT_EQ(r.parts[i].content, fields[i].second) << fields[i].first;
    }
    EXPECT_EQ(r.parts[4].filename, "Glimra_2024-01-02_03-04-05.png");
    EXPECT_EQ(r.parts[4].contentType, "image/png");
    EXPECT_TRUE(r.parts[0].filename.empty());

    // ...and, since a parser forgives stray bytes, the length of the exact layout.
    const std::string b = match.captured(1).toStdString();
    const std::string field =
        "--" + b + "\r\nContent-Disposition: form-data; name=\"\"\r\n\r\n\r\n";
    const std::size_t expectedLength =
        4 * field.size() + std::string("tokenactioncapture_typeoriginal_filename").size() +
        std::string("tokuploadwindowGlimra_2024-01-02_03-04-05.png").size() +
        std::string("--" + b + "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"" +
                    "Glimra_2024-01-02_03-04-05.png\"\r\nContent-Type: image/png\r\n\r\n")
            .size() +
        image.size() + 2 + std::string("--" + b + "--\r\n").size();
    EXPECT_EQ(r.contentLength, static_cast<long long>(expectedLength));
}

TEST_F(NetworkManagerTest, EveryUploadHasItsOwnBoundaryAndMediaType)
{
    server.replyJson(R"({"success":true})");
    upload(net, writeFile(qs("a.JPG"), "x"));
    upload(net, writeFile(qs("b.tiff"), "x"));
    upload(net, writeFile(qs("noextension"), "x"));
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].parts.at(4).contentType, "image/jpeg");
    EXPECT_EQ(requests[1].parts.at(4).contentType, "image/png");
    EXPECT_EQ(requests[2].parts.at(4).contentType, "image/png");
    EXPECT_NE(requests[0].contentType, requests[1].contentType);
    EXPECT_NE(requests[1].contentType, requests[2].contentType);
}

TEST_F(NetworkManagerTest, UnreadableUploadFailsQuietlyWithoutARequest)
{
    server.replyJson(R"({"success":true})");
    const UploadReply reply = upload(net, m_dir.filePath(qs("missing.png")));
    EXPECT_FALSE(reply.ok);
    EXPECT_FALSE(reply.message);
    EXPECT_EQ(server.requestCount(), 0u);
}

TEST_F(NetworkManagerTest, DownloadIsAPlainGetWithAnEncodedQuery)
{
    const std::string png = "\x89PNG\r\n\x1a\n" + std::string(300, '\x01');
    server.reply(TestServer::Reply::with(200, png, "image/png"));
    const DownloadReply reply = download(net, qs("a+b/=& \u00e9"));
    ASSERT_TRUE(reply.ok);
    EXPECT_EQ(reply.data->toStdString(), png);
    EXPECT_FALSE(reply.message);

    const TestServer::Request r = server.lastRequest();
    EXPECT_EQ(r.method, "GET");
    EXPECT_EQ(r.target, "/glimra/api/sync.php?action=download&token=a%2Bb%2F%3D%26%20%C3%A9&id=7");
    EXPECT_TRUE(r.contentType.empty());
    EXPECT_TRUE(r.body.empty());
}

TEST_F(NetworkManagerTest, AnHtmlErrorPageFailsEachOperationItsOwnWay)
{
    server.reply(
        TestServer::Reply::with(502, "<html><body>Bad Gateway</body></html>", "text/html"));
    EXPECT_EQ(login(net).text, qs("Invalid server response"));
    EXPECT_EQ(remove(net).message, qs("Delete failed"));
    const ListReply listed = list(net);
    EXPECT_FALSE(listed.ok);
    EXPECT_FALSE(listed.screenshots);
    EXPECT_FALSE(validate(net).ok);
}

TEST_F(NetworkManagerTest, SuccessFlagShapes)
{
    server.replyJson(R"({"success":"true","token":"t"})");
    const AuthReply stringTrue = login(net);
    EXPECT_FALSE(stringTrue.ok);
    EXPECT_EQ(stringTrue.text, qs("Login failed"));

    server.replyJson(R"({"success":1,"token":"t","user":{"id":1}})");
    const AuthReply one = login(net);
    EXPECT_TRUE(one.ok);
    EXPECT_EQ(one.text, qs("t"));

    server.replyJson(R"({"success":true})");
    EXPECT_FALSE(list(net).ok) << "a listing without screenshots";

    // Qt turns 4xx into reply errors; the body must still be what counts.
    server.replyJson(R"({"success":false,"error":"Wrong password"})", 401);
    EXPECT_EQ(login(net).text, qs("Wrong password"));
    server.replyJson(R"({"success":true,"user":{"id":3}})", 400);
    EXPECT_TRUE(validate(net).ok);
}

TEST_F(NetworkManagerTest, DownloadReplyShapes)
{
    server.reply(TestServer::Reply::with(404, std::string(500, 'x'), "image/png"));
    EXPECT_EQ(download(net).message, qs("Download failed (HTTP 404)"));

    server.reply(TestServer::Reply::with(200, "Screenshot not found", "text/plain"));
    const DownloadReply notFound = download(net);
    EXPECT_FALSE(notFound.ok);
    EXPECT_EQ(notFound.message, qs("Screenshot not found"));

    const std::string exactly200 = "not found" + std::string(191, '.');
    server.reply(TestServer::Reply::with(200, exactly200, "image/png"));
    const DownloadReply image = download(net);
    EXPECT_TRUE(image.ok);
    EXPECT_EQ(image.data->size(), 200);
}

TEST(NetworkManagerFailures, ConnectionRefusedFailsEveryOperation)
{
    NetworkManager net(qs("http://127.0.0.1:") + QString::number(test::closedPort()));
    int done = 0;
    std::optional<QString> loginMessage, validateMessage, downloadMessage;
    net.login(qs("a"), qs("b"), [&](const AuthReply& r) {
        ++done;
        loginMessage = r.ok ? std::nullopt : r.text;
    });
    net.validate(qs("t"), [&](const ValidateReply& r) {
        ++done;
        EXPECT_FALSE(r.ok);
    });
    net.listServerScreenshots(qs("t"), [&](const ListReply& r) {
        ++done;
        EXPECT_FALSE(r.ok);
    });
    net.downloadScreenshot(qs("t"), 1, [&](const DownloadReply& r) {
        ++done;
        EXPECT_FALSE(r.ok);
        downloadMessage = r.message;
    });
    ASSERT_TRUE(test::waitUntil([&] { return done == 4; }, 10s));
    ASSERT_TRUE(loginMessage);
    EXPECT_FALSE(loginMessage->isEmpty());
    EXPECT_NE(*loginMessage, qs("No data received"));
    EXPECT_TRUE(downloadMessage && !downloadMessage->isEmpty());
}

TEST_F(NetworkManagerTest, ASlowServerTimesOut)
{
    net.setRequestTimeout(300ms);
    TestServer::Reply slow = TestServer::Reply::with(200, R"({"success":true})");
    slow.delay = 1500ms;
    server.reply(slow);
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(login(net).text, qs("The request timed out"));
    EXPECT_LT(clock.elapsed(), 1400);
    EXPECT_FALSE(list(net).ok);
    EXPECT_EQ(download(net).message, qs("The request timed out"));
}

TEST_F(NetworkManagerTest, OversizedRepliesAreCutOff)
{
    // A JSON reply streamed without a length, past 16 MiB.
    TestServer::Reply endless;
    endless.body = std::string(1024 * 1024, ' ');
    endless.chunkRepeats = 17;
    endless.contentType = "application/octet-stream";
    server.reply(endless);
    EXPECT_EQ(login(net).text, qs("The server's reply is too large"));
    EXPECT_FALSE(validate(net).ok);

    // A download announcing more than 512 MiB is refused before it arrives.
    TestServer::Reply huge;
    huge.body = "\x89PNG";
    huge.contentType = "image/png";
    huge.announcedLength = 600LL * 1024 * 1024;
    server.reply(huge);
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(download(net).message, qs("The server's reply is too large"));
    EXPECT_LT(clock.elapsed(), 5000);
}

TEST_F(NetworkManagerTest, RedirectsMustStayEncryptedOrLocal)
{
    server.setResponder([](const TestServer::Request& r) {
        TestServer::Reply reply;
        if (r.path == "/glimra/api/auth.php") {
            reply.status = 307;
            reply.headers = {{"Location", "/moved/auth.php"}};
        } else {
            reply.body = R"({"success":true,"token":"moved"})";
        }
        return reply;
    });
    EXPECT_EQ(login(net).text, qs("moved"));
    ASSERT_EQ(server.requestCount(), 2u);
    EXPECT_EQ(jsonOf(server.lastRequest().body).value(qs("password")).toString(), qs("pw"));

    TestServer::Reply away = TestServer::Reply::with(307, "");
    away.headers = {{"Location", "http://glimra.invalid/auth.php"}};
    server.reply(away);
    const AuthReply refused = login(net);
    EXPECT_FALSE(refused.ok);
    EXPECT_EQ(refused.text, qs("The server redirected to an insecure address"));
}

TEST(NetworkManagerOrigin, PlainHttpToAnotherHostSendsNothing)
{
    NetworkManager net(qs("http://glimra.invalid:8787"));
    std::optional<QString> loginMessage, deleteMessage, downloadMessage;
    int done = 0;
    net.login(qs("a"), qs("b"), [&](const AuthReply& r) {
        ++done;
        loginMessage = r.text;
    });
    net.deleteServerScreenshot(qs("t"), 1, [&](const DeleteReply& r) {
        ++done;
        deleteMessage = r.message;
    });
    net.validate(qs("t"), [&](const ValidateReply& r) {
        ++done;
        EXPECT_FALSE(r.ok);
    });
    net.uploadScreenshot(qs("t"), qs("/etc/hostname"), qs("window"), [&](const UploadReply& r) {
        ++done;
        EXPECT_FALSE(r.ok || r.message);
    });
    net.downloadScreenshot(qs("t"), 1, [&](const DownloadReply& r) {
        ++done;
        downloadMessage = r.message;
        EXPECT_FALSE(r.ok);
    });
    EXPECT_EQ(done, 0);
    // "Invalid URL" comes only from the path that never builds a request; an attempted
    // connection would report a host lookup error instead.
    ASSERT_TRUE(test::waitUntil([&] { return done == 5; }, 1s));
    EXPECT_EQ(loginMessage, qs("Invalid URL"));
    EXPECT_EQ(deleteMessage, qs("Invalid URL"));
    EXPECT_FALSE(downloadMessage);
    EXPECT_EQ(net.authUrl(), qs("http://glimra.invalid:8787/glimra/api/auth.php"));
}

TEST(NetworkManagerTls, UnknownCaIsRejectedUntilTheSettingsNameIt)
{
    const test::ScopedHome home;
    TestServer server(GLIMRA_TEST_DATA "/server.pem", GLIMRA_TEST_DATA "/server.key");
    server.replyJson(R"({"success":true,"token":"t"})");
    const auto login = [](NetworkManager& net) {
        std::optional<AuthReply> result;
        net.login(qs("a"), qs("b"), [&](const AuthReply& r) { result = r; });
        EXPECT_TRUE(test::waitUntil([&] { return result.has_value(); }, 10s));
        return result.value_or(AuthReply{});
    };

    NetworkManager strict(server.origin());
    const AuthReply rejected = login(strict);
    EXPECT_FALSE(rejected.ok);
    EXPECT_TRUE(rejected.text && !rejected.text->isEmpty());
    EXPECT_EQ(server.requestCount(), 0u) << "nothing may reach an unverified server";

    EXPECT_FALSE(strict.addCaCertificates(qs("/nonexistent/ca.pem")));

    QSettings settings;
    settings.setValue(qs("serverOrigin"), server.origin());
    settings.setValue(qs("serverCACertificates"), qs(GLIMRA_TEST_DATA "/ca.pem"));
    settings.sync();
    std::unique_ptr<NetworkManager> configured(NetworkManager::fromSettings());
    settings.remove(qs("serverOrigin"));
    settings.remove(qs("serverCACertificates"));
    EXPECT_EQ(configured->authUrl(), server.origin() + qs("/glimra/api/auth.php"));
    const AuthReply accepted = login(*configured);
    EXPECT_TRUE(accepted.ok);
    EXPECT_EQ(accepted.text, qs("t"));
    EXPECT_EQ(NetworkManager::configuredOrigin(), qs("http://localhost:8787"));
}
