// SPDX-License-Identifier: GPL-3.0-or-later
#include "sync/NetworkManager.h"

#include "core/Settings.h"

#include "TestServer.h"
#include "TestSupport.h"

#include <tuple>

using namespace glimra::sync;

namespace {

enum class Op { Login, Register, Validate, Upload, List, Delete, Download, Share, Unshare };
constexpr Op kAllOps[] = {Op::Login,  Op::Register, Op::Validate, Op::Upload, Op::List,
                          Op::Delete, Op::Download, Op::Share,    Op::Unshare};

const QString kToken = u"a+b/=& é"_s;
const QByteArray kImage("\x89PNG\r\n\x1a\n\0\r\n--x\r\n", 17);

// Runs one operation and sums its reply up as "ok <detail>" or "no <message>" ("-" when there
// is none), checking that the completion runs exactly once and never inside the call. A
// download streams into a sink, as the sync engine's do, which may refuse to take more.
std::string perform(NetworkManager& net, Op op, const QString& file = {}, bool sinkTakes = true)
{
    int calls = 0;
    QString out;
    const auto sum = [&](bool ok, const std::optional<QString>& detail) {
        ++calls;
        out = (ok ? u"ok "_s : u"no "_s) + detail.value_or(u"-"_s);
    };
    const auto auth = [&](const AuthReply& r) { sum(r.ok, r.text); };
    const auto count = [](qsizetype n) { return std::optional(QString::number(n)); };
    if (op == Op::Login)
        net.login(u"ann"_s, u"pw"_s, auth);
    if (op == Op::Register)
        net.registerAccount(u"böb"_s, u"b@x.org"_s, u"p\"w"_s, auth);
    if (op == Op::Validate)
        net.validate(kToken, [&](const ValidateReply& r) { sum(r.ok, {}); });
    if (op == Op::Upload)
        net.uploadScreenshot(kToken, file, u"window"_s, [&](const UploadReply& r) {
            sum(r.ok, r.screenshot ? count(r.screenshot->value(u"id"_s).toInt()) : r.message);
        });
    if (op == Op::List)
        net.listServerScreenshots(kToken, [&](const ListReply& r) {
            sum(r.ok, r.screenshots ? count(r.screenshots->size()) : std::nullopt);
        });
    if (op == Op::Delete)
        net.deleteServerScreenshot(kToken, 42, [&](const DeleteReply& r) { sum(r.ok, r.message); });
    if (op == Op::Share)
        net.shareScreenshot(kToken, 42, 86400, [&](const ShareReply& r) {
            sum(r.ok, r.link ? std::optional(r.link->url) : r.message);
        });
    if (op == Op::Unshare)
        net.unshareScreenshot(kToken, 42, [&](const UnshareReply& r) {
            sum(r.ok, r.ok ? count(r.revoked) : r.message);
        });
    if (op == Op::Download)
        net.downloadScreenshotTo(
            kToken, 7, [sinkTakes](QByteArrayView) { return sinkTakes; },
            [&](const DownloadReply& r, qint64 bytes) {
                sum(r.ok && !r.data, r.ok ? count(bytes) : r.message);
            });
    EXPECT_EQ(calls, 0);
    EXPECT_TRUE(waitUntil([&] { return calls > 0; }, 10s));
    EXPECT_TRUE(holdsFor([&] { return calls == 1; }, 30ms));
    return out.toStdString();
}

class NetworkManagerTest : public ::testing::Test {
protected:
    NetworkManagerTest()
    {
        QFile file(m_file);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(kImage) == kImage.size());
    }

    TestServer server;
    NetworkManager net{server.origin()};
    QTemporaryDir m_dir;
    const QString m_file = m_dir.filePath(u"Glimra_2024-01-02_03-04-05.png"_s);
};

} // namespace

// The upload's form meets the real server in the end-to-end run; these carry a token no real
// server hands out, which must arrive as it was given.
TEST_F(NetworkManagerTest, EachOperationSendsExactlyTheseBytes)
{
    server.respond([](const Received&, httplib::Response& out) {
        out.set_header("Set-Cookie", "session=1; Path=/");
        out.set_content(R"({"success":true})", "application/json");
    });
    const std::string auth = "POST /glimra/api/auth.php application/json ";
    const std::string sync = "POST /glimra/api/sync.php application/json ";
    const std::pair<Op, std::string> expected[] = {
        {Op::Login, auth + R"({"action":"login","password":"pw","username":"ann"})"},
        {Op::Register,
         auth + R"({"action":"register","email":"b@x.org","password":"p\"w","username":"böb"})"},
        {Op::Validate, auth + R"({"action":"validate","token":"a+b/=& é"})"},
        {Op::List, sync + R"({"action":"list","token":"a+b/=& é"})"},
        {Op::Delete, sync + R"({"action":"delete","screenshot_id":42,"token":"a+b/=& é"})"},
        {Op::Share,
         sync + R"({"action":"share","expires_in":86400,"screenshot_id":42,"token":"a+b/=& é"})"},
        {Op::Unshare, sync + R"({"action":"unshare","screenshot_id":42,"token":"a+b/=& é"})"},
        {Op::Download,
         "GET /glimra/api/sync.php?action=download&token=a%2Bb%2F%3D%26%20%C3%A9&id=7  "},
    };
    for (const auto& [op, bytes] : expected) {
        perform(net, op);
        const Received sent = server.received().back();
        EXPECT_EQ(sent.method + ' ' + sent.target + ' ' + sent.contentType + ' ' + sent.body,
                  bytes);
        EXPECT_FALSE(sent.cookieOrAuthorization) << "the session is the token alone";
    }
}

TEST_F(NetworkManagerTest, NothingIsSentInClearToAnotherHostNorForAnUnreadableFile)
{
    // 0.0.0.0 is not a loopback address, yet a connection to it would reach this server.
    NetworkManager remote(u"http://0.0.0.0:"_s + QString::number(server.port()));
    const char* const expected[] = {"no Invalid URL", "no Invalid URL", "no -",
                                    "no -",           "no -",           "no Invalid URL",
                                    "no -",           "no Invalid URL", "no Invalid URL"};
    for (std::size_t i = 0; i < std::size(kAllOps); ++i)
        EXPECT_EQ(perform(remote, kAllOps[i], m_file), expected[i]);
    EXPECT_EQ(perform(net, Op::Upload, m_dir.filePath(u"missing.png"_s)), "no -");
    EXPECT_TRUE(server.received().empty());
}

TEST_F(NetworkManagerTest, EveryReplyShapeOfTheServer)
{
    const auto html = reply(502, "<html><body>Bad Gateway</body></html>", "text/html");
    const auto slow = reply(200, R"({"success":true})", "application/json", 1500ms);
    // A download announcing more than 512 MiB, and JSON past the cap with no length announced.
    const auto huge = [](const Received& r, httplib::Response& out) {
        if (r.method == "GET")
            return out.set_content_provider(
                600u << 20, "image/png", [](size_t, size_t, httplib::DataSink&) { return false; });
        out.set_chunked_content_provider(
            "application/octet-stream", [](size_t sent, httplib::DataSink& sink) {
                const std::string mebibyte(1 << 20, ' ');
                return sent > kMaxJsonReplyBytes ? (sink.done(), true)
                                                 : sink.write(mebibyte.data(), mebibyte.size());
            });
    };
    // A redirect is followed only where the origin itself could have pointed.
    const std::string leak = "http://0.0.0.0:" + std::to_string(server.port()) + "/leak";
    const auto redirect = [leak](const Received& r, httplib::Response& out) {
        if (r.target == "/moved")
            return out.set_content(R"({"success":true,"screenshots":[{"id":1}]})",
                                   "application/json");
        out.set_redirect(r.target == "/glimra/api/sync.php" ? "/moved" : leak, 307);
    };
    const std::tuple<TestServer::Responder, Op, const char*> shapes[] = {
        {html, Op::Login, "no Invalid server response"},
        {html, Op::Delete, "no Delete failed"},
        {html, Op::List, "no -"},
        {reply(200, R"({"success":"true","token":"t"})"), Op::Login, "no Login failed"},
        {reply(200, R"({"success":1,"token":"t"})"), Op::Login, "ok t"},
        {reply(200, R"({"success":true})"), Op::List, "no -"},
        // Qt makes 4xx a reply error; the body must still be what counts.
        {reply(401, R"({"success":false,"error":"No"})"), Op::Login, "no No"},
        {reply(201, R"({"success":true,"screenshot":{"id":5}})"), Op::Upload, "ok 5"},
        {reply(404, std::string(500, 'x'), "image/png"), Op::Download,
         "no Download failed (HTTP 404)"},
        {reply(200, "Screenshot not found", "text/plain"), Op::Download, "no Screenshot not found"},
        {reply(200, "not found" + std::string(191, '.'), "image/png"), Op::Download, "ok 200"},
        {slow, Op::Login, "no The request timed out"},
        {slow, Op::Download, "no The request timed out"},
        {huge, Op::Login, "no The server's reply is too large"},
        {huge, Op::Download, "no The server's reply is too large"},
        // Share links: a server without them, a link that is no web page, and the real ones
        // against the real server in the end-to-end run.
        {reply(400, R"({"success":false,"error":"Unknown action"})"), Op::Share,
         "no This server does not offer share links"},
        {reply(200, R"({"success":true,"share":{"id":"x","url":"file:///etc/passwd"}})"), Op::Share,
         "no Invalid server response"},
        {reply(200, R"({"success":true,"share":{"id":"x","url":"https://h/s/x"}})"), Op::Share,
         "ok https://h/s/x"},
        {reply(404, R"({"success":false,"error":"Share link not found"})"), Op::Unshare,
         "no Share link not found"},
        {redirect, Op::List, "ok 1"},
        {redirect, Op::Login, "no The server redirected to an insecure address"},
    };
    for (const auto& [responder, op, expected] : shapes) {
        // Short enough for the slow replies; sixteen mebibytes need longer on a busy machine.
        const bool large = std::string_view(expected).ends_with("too large");
        net.setRequestTimeout(large ? 60s : 500ms);
        server.respond(responder);
        EXPECT_EQ(perform(net, op, m_file), expected);
    }
    for (const Received& r : server.received())
        EXPECT_NE(r.target, "/leak");

    NetworkManager refused(u"http://127.0.0.1:"_s + QString::number(closedPort()));
    EXPECT_EQ(perform(refused, Op::Login), "no Connection refused");
}

TEST(NetworkManagerTls, AnUnknownCaIsRejectedUntilTheSettingsNameIt)
{
    const ScopedHome home;
    TestServer server(GLIMRA_TEST_DATA "/server.pem", GLIMRA_TEST_DATA "/server.key");
    server.respond(reply(200, R"({"success":true,"token":"t"})"));
    NetworkManager strict(server.origin());
    const std::string rejected = perform(strict, Op::Login);
    EXPECT_TRUE(rejected.starts_with("no ") && rejected != "no -") << rejected;
    EXPECT_TRUE(server.received().empty()) << "nothing may reach an unverified server";
    EXPECT_FALSE(strict.addCaCertificates(u"/nonexistent.pem"_s));

    openSettings()->setValue(settings::kServerOrigin, server.origin());
    openSettings()->setValue(settings::kServerCACertificates,
                             QString::fromUtf8(GLIMRA_TEST_DATA "/ca.pem"));
    const std::unique_ptr<NetworkManager> trusting(NetworkManager::fromSettings());
    EXPECT_EQ(perform(*trusting, Op::Login), "ok t");
    // Once encrypted, not even this machine may be reached in clear.
    server.respond([](const Received&, httplib::Response& out) {
        out.set_redirect("http://127.0.0.1:9/", 307);
    });
    EXPECT_EQ(perform(*trusting, Op::Login), "no The server redirected to an insecure address");
}

TEST_F(NetworkManagerTest, AJsonCallHasADeadlineAndATransferOnlyNeedsToKeepMovingAndBeTaken)
{
    // Twelve bytes, one every 100 ms: never idle for the timeout, yet longer than it in all.
    server.respond([](const Received& r, httplib::Response& out) {
        out.set_chunked_content_provider(r.method == "GET" ? "image/png" : "application/json",
                                         [](size_t sent, httplib::DataSink& sink) {
                                             if (sent >= 12)
                                                 return sink.done(), true;
                                             std::this_thread::sleep_for(100ms);
                                             return sink.write(sent ? " " : "{", 1);
                                         });
    });
    net.setRequestTimeout(500ms);
    EXPECT_EQ(perform(net, Op::Login), "no The request timed out");
    EXPECT_EQ(perform(net, Op::List), "no -");
    EXPECT_EQ(perform(net, Op::Download), "ok 12");
    // What the sink was handed, and that a 404's body never reaches it, is seen in the engine's
    // files; a sink that refuses ends the download as a failure.
    server.respond(reply(200, std::string(5000, '\x89'), "image/png"));
    EXPECT_EQ(perform(net, Op::Download, {}, false), "no Cannot save the download");
}
