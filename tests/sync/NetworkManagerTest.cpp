#include "sync/NetworkManager.h"

#include "core/Settings.h"

#include "TestServer.h"
#include "TestSupport.h"

#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <tuple>

using namespace glimra;
using namespace glimra::sync;
using namespace glimra::test;
using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

namespace {

enum class Op { Login, Register, Validate, Upload, List, Delete, Download };
constexpr Op kAllOps[] = {Op::Login, Op::Register, Op::Validate, Op::Upload,
                          Op::List,  Op::Delete,   Op::Download};

const QString kToken = u"a+b/=& é"_s;
const QByteArray kImage("\x89PNG\r\n\x1a\n\0\r\n--x\r\n", 17);

// Runs one operation and sums its reply up as "ok <detail>" or "no <message>" ("-" when there
// is none), checking that the completion runs exactly once and never inside the call.
std::string perform(NetworkManager& net, Op op, const QString& file = {})
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
    if (op == Op::Download)
        net.downloadScreenshot(kToken, 7, [&](const DownloadReply& r) {
            sum(r.ok, r.data ? count(r.data->size()) : r.message);
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

TEST_F(NetworkManagerTest, EachOperationSendsExactlyTheseBytes)
{
    server.respond([](const Received&, httplib::Response& out) {
        out.set_header("Set-Cookie", "session=1; Path=/");
        out.set_content(R"({"success":true})", "application/json");
    });
    for (const Op op : kAllOps)
        perform(net, op, m_file);

    const std::string auth = "POST /glimra/api/auth.php application/json ";
    const std::string sync = "POST /glimra/api/sync.php application/json ";
    const std::string field = "--@\r\nContent-Disposition: form-data; name=";
    const std::string expected[] = {
        auth + R"({"action":"login","password":"pw","username":"ann"})",
        auth + R"({"action":"register","email":"b@x.org","password":"p\"w","username":"böb"})",
        auth + R"({"action":"validate","token":"a+b/=& é"})",
        "POST /glimra/api/sync.php multipart/form-data; boundary=@ " + field +
            "\"token\"\r\n\r\na+b/=& é\r\n" + field + "\"action\"\r\n\r\nupload\r\n" + field +
            "\"capture_type\"\r\n\r\nwindow\r\n" + field +
            "\"original_filename\"\r\n\r\nGlimra_2024-01-02_03-04-05.png\r\n" + field +
            "\"file\"; filename=\"Glimra_2024-01-02_03-04-05.png\"\r\nContent-Type: "
            "image/png\r\n\r\n" +
            kImage.toStdString() + "\r\n--@--\r\n",
        sync + R"({"action":"list","token":"a+b/=& é"})",
        sync + R"({"action":"delete","screenshot_id":42,"token":"a+b/=& é"})",
        "GET /glimra/api/sync.php?action=download&token=a%2Bb%2F%3D%26%20%C3%A9&id=7  ",
    };
    const std::vector<Received> sent = server.received();
    ASSERT_EQ(sent.size(), std::size(expected));
    // The boundary is a fresh upper-case UUID, the same in the header and the body.
    const QRegularExpression uuid(u"boundary=([0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12})$"_s);
    const QString boundary = uuid.match(QString::fromStdString(sent[3].contentType)).captured(1);
    ASSERT_FALSE(boundary.isEmpty()) << sent[3].contentType;
    for (std::size_t i = 0; i < sent.size(); ++i) {
        QByteArray seen = QByteArray::fromStdString(sent[i].method + ' ' + sent[i].target + ' ' +
                                                    sent[i].contentType + ' ' + sent[i].body);
        EXPECT_EQ(seen.replace(boundary.toLatin1(), "@").toStdString(), expected[i]);
        EXPECT_FALSE(sent[i].cookieOrAuthorization) << "the session is the token alone";
    }
}

TEST_F(NetworkManagerTest, NothingIsSentInClearToAnotherHostNorForAnUnreadableFile)
{
    // 0.0.0.0 is not a loopback address, yet a connection to it would reach this server.
    NetworkManager remote(u"http://0.0.0.0:"_s + QString::number(server.port()));
    const char* const expected[] = {"no Invalid URL", "no Invalid URL", "no -", "no -",
                                    "no -",           "no Invalid URL", "no -"};
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

TEST_F(NetworkManagerTest, AJsonCallHasADeadlineAndATransferOnlyNeedsToKeepMoving)
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
}

TEST_F(NetworkManagerTest, AStreamedDownloadHandsOnOnlyTheFileAndIsJudgedAsAWholeOne)
{
    const std::string file(5000, '\x89');
    const struct {
        TestServer::Responder reply;
        bool sinkAccepts;
        std::string expected; // "ok <bytes>" or "no <message>"
        qsizetype sunk;       // bytes the sink was given
    } rows[] = {
        {reply(200, file, "image/png"), true, "ok 5000", 5000},
        {reply(404, file, "image/png"), true, "no Download failed (HTTP 404)", 0},
        {reply(200, "Screenshot not found", "text/plain"), true, "no Screenshot not found", 20},
        {reply(200, file, "image/png"), false, "no Cannot save the download", 5000},
    };
    for (const auto& row : rows) {
        server.respond(row.reply);
        QByteArray sunk;
        std::optional<std::string> outcome;
        net.downloadScreenshotTo(
            kToken, 7,
            [&](QByteArrayView piece) {
                sunk += piece.first(std::min<qsizetype>(piece.size(), 5000 - sunk.size()));
                return row.sinkAccepts;
            },
            [&](const DownloadReply& r, qint64 bytes) {
                EXPECT_FALSE(r.data);
                outcome = r.ok ? "ok " + std::to_string(bytes)
                               : "no " + r.message.value_or(u"-"_s).toStdString();
            });
        ASSERT_TRUE(waitUntil([&] { return outcome.has_value(); }));
        EXPECT_EQ(*outcome, row.expected);
        if (row.sinkAccepts) {
            EXPECT_EQ(sunk.size(), row.sunk) << row.expected;
        }
        if (row.sunk == 5000 && row.sinkAccepts) {
            EXPECT_EQ(sunk.toStdString(), file);
        }
    }
}
