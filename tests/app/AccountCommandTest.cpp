// Signing in from the command line against a web service on 127.0.0.1, with the token kept in
// the Secret Service of the test session or, without a session bus, in the private file.
#include "GlimraSession.h"
#include "TestServer.h"

#include <QJsonObject>

using namespace glimra::test;
using namespace Qt::StringLiterals;

namespace {

class AccountCommands : public GlimraSession, public ::testing::WithParamInterface<bool> {
protected:
    AccountCommands()
    {
        if (!GetParam())
            m_env.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, u"unix:path=/nonexistent/glimra-no-bus"_s);
        EXPECT_TRUE(writeSettings("serverOrigin=" + server.origin().toUtf8()));
        // Accepts bob/hunter2 and validates the token it handed out until told otherwise.
        server.respond([this](const Received& request, httplib::Response& response) {
            const QJsonObject body =
                QJsonDocument::fromJson(QByteArray::fromStdString(request.body)).object();
            const QString action = body.value(u"action"_s).toString();
            QByteArray reply = R"({"success":false,"error":"Wrong password"})";
            if (action == u"login"_s && body.value(u"password"_s) == u"hunter2"_s)
                reply = R"({"success":true,"token":"tok-1","user":{"id":7,"username":"bob"}})";
            else if (action == u"validate"_s && acceptToken && body.value(u"token"_s) == u"tok-1"_s)
                reply = R"({"success":true,"user":{"id":7,"username":"bob","screenshot_count":3}})";
            else if (action == u"list"_s)
                reply = R"({"success":true,"screenshots":[]})";
            response.set_content(reply.toStdString(), "application/json");
        });
    }
    ~AccountCommands() override { run({u"logout"_s}); }

    QJsonObject status() { return json(u"status"_s).object(); }
    int validations() const
    {
        int n = 0;
        for (const Received& r : server.received())
            n += r.body.find("\"validate\"") != std::string::npos;
        return n;
    }
    void restart()
    {
        ASSERT_EQ(run({u"quit"_s}).exitCode, 0);
        ASSERT_TRUE(m_app.waitForFinished(10000));
        start();
    }

    TestServer server;
    std::atomic<bool> acceptToken = true;
};

} // namespace

TEST_P(AccountCommands, aSignInSurvivesARestartUntilTheServerRejectsTheToken)
{
    start();
    EXPECT_FALSE(status().value(u"isLoggedIn"_s).toBool());
    EXPECT_EQ(validations(), 0); // nothing stored, nothing asked

    const CommandResult wrong = run({u"login"_s, u"bob"_s}, "nope\n");
    EXPECT_EQ(wrong.exitCode, 1);
    EXPECT_EQ(wrong.err, u"Wrong password\n"_s);

    const CommandResult login = run({u"login"_s, u"bob"_s}, "hunter2\n");
    ASSERT_EQ(login.exitCode, 0) << login.err.toStdString();
    QJsonObject now = status();
    EXPECT_TRUE(now.value(u"isLoggedIn"_s).toBool());
    EXPECT_EQ(now.value(u"currentUser"_s).toObject().value(u"username"_s).toString(), u"bob"_s);
    EXPECT_TRUE(now.value(u"currentUser"_s).toObject().value(u"screenshotCount"_s).isNull());

    restart();
    ASSERT_TRUE(waitUntil([&] { return validations() == 1; }));
    ASSERT_TRUE(waitUntil([&] {
        return status().value(u"currentUser"_s).toObject().value(u"screenshotCount"_s).toInt() == 3;
    }));
    EXPECT_TRUE(status().value(u"isLoggedIn"_s).toBool());

    // Rejected at the next start: signed out, and the token is gone for good.
    acceptToken = false;
    restart();
    ASSERT_TRUE(waitUntil([&] { return validations() == 2; }));
    ASSERT_TRUE(waitUntil([&] { return !status().value(u"isLoggedIn"_s).toBool(); }));
    restart();
    EXPECT_TRUE(holdsFor([&] { return validations() == 2; }, std::chrono::milliseconds(300)));
    EXPECT_FALSE(status().value(u"isLoggedIn"_s).toBool());
}

static std::string storeName(const ::testing::TestParamInfo<bool>& store)
{
    return store.param ? "SecretService" : "PrivateFile";
}

INSTANTIATE_TEST_SUITE_P(Stores, AccountCommands, ::testing::Values(true, false), storeName);
