#include "sync/NetworkManager.h"

#include "TestServer.h"
#include "TestSupport.h"

#include <QFile>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace glimra;
using namespace glimra::sync;
using namespace std::chrono_literals;
using glimra::test::Received;
using glimra::test::TestServer;

namespace {

QString qs(const char* text)
{
    return QString::fromUtf8(text);
}

// Answers every request with this status, body and type, after an optional delay.
TestServer::Responder answer(int status, std::string body, std::string type = "text/plain",
                             std::chrono::milliseconds delay = 0ms)
{
    return [=](const Received&, httplib::Response& out) {
        std::this_thread::sleep_for(delay);
        out.status = status;
        out.set_content(body, type);
    };
}

// Runs one call and checks that its completion runs exactly once, never inside the call.
template <typename Reply, typename Start> Reply run(Start start)
{
    int calls = 0;
    Reply result;
    start([&](const Reply& reply) {
        ++calls;
        result = reply;
    });
    EXPECT_EQ(calls, 0);
    EXPECT_TRUE(test::waitUntil([&] { return calls > 0; }, 10s));
    test::processEvents(30ms);
    EXPECT_EQ(calls, 1);
    return result;
}

class NetworkManagerTest : public ::testing::Test {
protected:
    AuthReply login(NetworkManager& n)
    {
        return run<AuthReply>([&](auto done) { n.login(qs("ann"), qs("pw"), done); });
    }
    AuthReply login() { return login(net); }
    ListReply list()
    {
        return run<ListReply>([&](auto done) { net.listServerScreenshots(qs("t"), done); });
    }
    DeleteReply remove()
    {
        return run<DeleteReply>([&](auto done) { net.deleteServerScreenshot(qs("t"), 42, done); });
    }
    DownloadReply download(const QString& token = qs("t"))
    {
        return run<DownloadReply>([&](auto done) { net.downloadScreenshot(token, 7, done); });
    }
    UploadReply upload(const QString& name, const QByteArray& bytes)
    {
        QFile file(m_dir.filePath(name));
        if (!bytes.isNull() && file.open(QIODevice::WriteOnly))
            file.write(bytes);
        file.close();
        return run<UploadReply>(
            [&](auto done) { net.uploadScreenshot(qs("t"), file.fileName(), qs("window"), done); });
    }

    TestServer server;
    NetworkManager net{server.origin()};
    QTemporaryDir m_dir;
};

} // namespace

TEST_F(NetworkManagerTest, JsonRequestsSendExactlyTheirMembersAndNoCookie)
{
    server.respond([](const Received&, httplib::Response& out) {
        out.set_header("Set-Cookie", "session=1; Path=/");
        out.set_content(R"({"success":true})", "application/json");
    });
    login();
    run<AuthReply>(
        [&](auto done) { net.registerAccount(qs("b\u00f6b"), qs("b@x.org"), qs("p\"w"), done); });
    run<ValidateReply>([&](auto done) { net.validate(qs("t"), done); });
    list();
    remove();

    const char* const expected[] = {
        R"({"action":"login","username":"ann","password":"pw"})",
        R"({"action":"register","username":"b\u00f6b","email":"b@x.org","password":"p\"w"})",
        R"({"action":"validate","token":"t"})",
        R"({"action":"list","token":"t"})",
        R"({"action":"delete","token":"t","screenshot_id":42})",
    };
    const std::vector<Received> sent = server.received();
    ASSERT_EQ(sent.size(), 5u);
    for (std::size_t i = 0; i < sent.size(); ++i) {
        SCOPED_TRACE(sent[i].body);
        EXPECT_EQ(sent[i].method, "POST");
        EXPECT_EQ(sent[i].target, i < 3 ? "/glimra/api/auth.php" : "/glimra/api/sync.php");
        EXPECT_EQ(sent[i].contentType, "application/json");
        EXPECT_EQ(sent[i].body.find_first_of("\n"), std::string::npos) << "compact";
        EXPECT_EQ(QJsonDocument::fromJson(QByteArray::fromStdString(sent[i].body)),
                  QJsonDocument::fromJson(expected[i]));
        EXPECT_FALSE(sent[i].cookieOrAuthorization);
    }
    EXPECT_NE(sent[4].body.find(R"("screenshot_id":42)"), std::string::npos) << "an integer";
}

TEST_F(NetworkManagerTest, UploadSendsTheFiveFieldsInOrderUnderAFreshBoundary)
{
    server.json(R"({"success":true,"screenshot":{"id":5}})");
    const QByteArray image("\x89PNG\r\n\x1a\n\0\r\n--x\r\n", 17);
    const UploadReply reply = upload(qs("Glimra_2024-01-02_03-04-05.png"), image);
    EXPECT_EQ(reply.screenshot->value(qs("id")).toInt(), 5);
    upload(qs("b.JPG"), "x");

    const std::vector<Received> sent = server.received();
    ASSERT_EQ(sent.size(), 2u);
    const QRegularExpression form(qs("^multipart/form-data; boundary=([0-9A-F]{8}-[0-9A-F]{4}-"
                                     "[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12})$"));
    const auto match = form.match(QString::fromStdString(sent[0].contentType));
    ASSERT_TRUE(match.hasMatch()) << sent[0].contentType;
    EXPECT_NE(sent[0].contentType, sent[1].contentType);
    const std::vector<std::pair<std::string, std::string>> fields{
        {"token", "t"},
        {"action", "upload"},
        {"capture_type", "window"},
        {"original_filename", "Glimra_2024-01-02_03-04-05.png"},
        {"file", image.toStdString()}};
    ASSERT_EQ(sent[0].parts.size(), fields.size());
    for (std::size_t i = 0; i < fields.size(); ++i) {
        EXPECT_EQ(sent[0].parts[i].name, fields[i].first);
        EXPECT_EQ(sent[0].parts[i].content, fields[i].second);
    }
    EXPECT_EQ(sent[0].parts[4].filename, fields[3].second);
    EXPECT_EQ(sent[0].parts[4].content_type, "image/png");
    EXPECT_EQ(sent[1].parts[4].content_type, "image/jpeg");
    // The parser forgives stray bytes; the length of the exact layout does not.
    EXPECT_EQ(sent[0].contentLength, multipartBody(match.captured(1), qs("t"), qs("window"),
                                                   qs("Glimra_2024-01-02_03-04-05.png"), image)
                                         .size());

    const UploadReply unreadable = upload(qs("missing.png"), QByteArray());
    EXPECT_FALSE(unreadable.ok || unreadable.message);
    EXPECT_EQ(server.received().size(), 2u) << "nothing sent for an unreadable file";
}

TEST_F(NetworkManagerTest, DownloadIsAPlainGetWithAnEncodedQuery)
{
    const std::string png = "\x89PNG\r\n\x1a\n" + std::string(300, '\x01');
    server.respond(answer(200, png, "image/png"));
    EXPECT_EQ(download(qs("a+b/=& \u00e9")).data, QByteArray::fromStdString(png));
    const Received sent = server.received().at(0);
    EXPECT_EQ(sent.method, "GET");
    EXPECT_EQ(sent.target,
              "/glimra/api/sync.php?action=download&token=a%2Bb%2F%3D%26%20%C3%A9&id=7");
    EXPECT_TRUE(sent.contentType.empty() && sent.body.empty());
}

TEST_F(NetworkManagerTest, EveryReplyShapeOfTheServer)
{
    server.respond(answer(502, "<html><body>Bad Gateway</body></html>", "text/html"));
    EXPECT_EQ(login().text, qs("Invalid server response"));
    EXPECT_EQ(remove().message, qs("Delete failed"));
    EXPECT_FALSE(list().ok || list().screenshots);

    server.json(R"({"success":"true","token":"t"})");
    EXPECT_EQ(login().text, qs("Login failed"));
    server.json(R"({"success":1,"token":"t"})");
    EXPECT_EQ(login().text, qs("t"));
    server.json(R"({"success":true})");
    EXPECT_FALSE(list().ok) << "no screenshots member";
    // Qt makes 4xx a reply error; the body must still be what counts.
    server.json(R"({"success":false,"error":"Wrong password"})", 401);
    EXPECT_EQ(login().text, qs("Wrong password"));

    server.respond(answer(404, std::string(500, 'x'), "image/png"));
    EXPECT_EQ(download().message, qs("Download failed (HTTP 404)"));
    server.respond(answer(200, "Screenshot not found"));
    EXPECT_EQ(download().message, qs("Screenshot not found"));
    server.respond(answer(200, "not found" + std::string(191, '.'), "image/png"));
    EXPECT_EQ(download().data->size(), 200);
}

TEST_F(NetworkManagerTest, TransfersThatGoWrong)
{
    // "Invalid URL" comes only from the path that builds no request; an attempt to connect
    // would end in a host lookup error instead.
    NetworkManager insecure(qs("http://glimra.invalid:8787"));
    EXPECT_EQ(login(insecure).text, qs("Invalid URL"));
    EXPECT_EQ(
        run<DeleteReply>([&](auto d) { insecure.deleteServerScreenshot(qs("t"), 1, d); }).message,
        qs("Invalid URL"));
    EXPECT_FALSE(
        run<DownloadReply>([&](auto d) { insecure.downloadScreenshot(qs("t"), 1, d); }).message);

    NetworkManager refused(qs("http://127.0.0.1:") + QString::number(test::closedPort()));
    const AuthReply noServer = login(refused);
    EXPECT_TRUE(!noServer.ok && noServer.text && !noServer.text->isEmpty());
    EXPECT_FALSE(run<ValidateReply>([&](auto d) { refused.validate(qs("t"), d); }).ok);

    net.setRequestTimeout(300ms);
    server.respond(answer(200, R"({"success":true})", "application/json", 1200ms));
    EXPECT_EQ(login().text, qs("The request timed out"));
    EXPECT_EQ(download().message, qs("The request timed out"));

    // Past the cap with no length announced, and a download announcing more than 512 MiB.
    net.setRequestTimeout(NetworkManager::kDefaultTimeout);
    server.respond([](const Received& r, httplib::Response& out) {
        if (r.method == "GET") {
            out.set_content_provider(600u << 20, "image/png",
                                     [](size_t, size_t, httplib::DataSink& sink) {
                                         sink.write("\x89PNG", 4);
                                         return false;
                                     });
            return;
        }
        auto left = std::make_shared<int>(17);
        out.set_chunked_content_provider(
            "application/octet-stream", [left](size_t, httplib::DataSink& sink) {
                const std::string mebibyte(1 << 20, ' ');
                if ((*left)-- > 0)
                    return sink.write(mebibyte.data(), mebibyte.size());
                sink.done();
                return true;
            });
    });
    EXPECT_EQ(login().text, qs("The server's reply is too large"));
    EXPECT_EQ(download().message, qs("The server's reply is too large"));

    // A redirect is followed only where the origin itself could have pointed.
    server.respond([](const Received& r, httplib::Response& out) {
        if (r.target == "/glimra/api/sync.php")
            out.set_redirect("/moved", 307);
        else if (r.target == "/glimra/api/auth.php")
            out.set_redirect("http://glimra.invalid/", 307);
        else
            out.set_content(R"({"success":true,"screenshots":[]})", "application/json");
    });
    EXPECT_TRUE(list().ok);
    EXPECT_EQ(login().text, qs("The server redirected to an insecure address"));
    EXPECT_EQ(server.received().back().target, "/glimra/api/auth.php") << "sent no further";
}

TEST(NetworkManagerTls, AnUnknownCaIsRejectedUntilTheSettingsNameIt)
{
    const test::ScopedHome home;
    TestServer server(GLIMRA_TEST_DATA "/server.pem", GLIMRA_TEST_DATA "/server.key");
    server.json(R"({"success":true,"token":"t"})");
    NetworkManager strict(server.origin());
    const AuthReply rejected = run<AuthReply>([&](auto d) { strict.login(qs("a"), qs("b"), d); });
    EXPECT_TRUE(!rejected.ok && rejected.text && !rejected.text->isEmpty());
    EXPECT_TRUE(server.received().empty()) << "nothing may reach an unverified server";
    EXPECT_FALSE(strict.addCaCertificates(qs("/nonexistent.pem")));

    QSettings().setValue(qs("serverOrigin"), server.origin());
    QSettings().setValue(qs("serverCACertificates"), qs(GLIMRA_TEST_DATA "/ca.pem"));
    const std::unique_ptr<NetworkManager> trusting(NetworkManager::fromSettings());
    EXPECT_EQ(run<AuthReply>([&](auto d) { trusting->login(qs("a"), qs("b"), d); }).text, qs("t"));
    // Once encrypted, not even this machine may be reached in clear.
    server.respond([](const Received&, httplib::Response& out) {
        out.set_redirect("http://127.0.0.1:9/", 307);
    });
    EXPECT_EQ(run<AuthReply>([&](auto d) { trusting->login(qs("a"), qs("b"), d); }).text,
              qs("The server redirected to an insecure address"));
}
