#include "account/AuthManager.h"
#include "account/KeychainHelper.h"
#include "account/UserInfo.h"
#include "sync/NetworkManager.h"

#include "TestServer.h"
#include "TestSupport.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <atomic>

using namespace glimra;
using namespace std::chrono_literals;
using glimra::test::Received;
using glimra::test::TestServer;
using Backend = KeychainHelper::Backend;

namespace {

QString qs(const char* text)
{
    return QString::fromUtf8(text);
}

const char* const kUser =
    R"("user":{"id":7,"username":"ann","email":"a@x.org","storage_used_bytes":2048})";

// One account, "ann" with password "pw" and token "tok-ann". Logins with the right password
// can be held back until the test lets them go.
class AuthManagerTest : public ::testing::Test {
protected:
    AuthManagerTest()
    {
        server.respond([this](const Received& r, httplib::Response& out) {
            const QJsonObject in =
                QJsonDocument::fromJson(QByteArray::fromStdString(r.body)).object();
            const QString action = in.value(qs("action")).toString();
            std::string reply = R"({"success":false,"error":"Wrong password"})";
            if (action == qs("validate") && in.value(qs("token")) == qs("tok-ann")) {
                reply = std::string(R"({"success":true,)") + kUser + "}";
            } else if (action == qs("validate")) {
                out.status = 401;
                reply = R"({"success":false,"error":"Invalid token"})";
            } else if (action == qs("register")) {
                reply = R"({"success":false,"error":"Username taken"})";
            } else if (in.value(qs("password")) == qs("pw")) {
                while (hold)
                    std::this_thread::sleep_for(5ms);
                reply = loginReply;
            }
            out.set_content(reply, "application/json");
        });
    }

    std::unique_ptr<KeychainHelper> keychain(Backend backend = Backend::File)
    {
        return std::make_unique<KeychainHelper>(qs("com.tarnwick.glimra.test.auth"), backend);
    }
    std::unique_ptr<AuthManager> manager(const QString& origin, Backend backend = Backend::File)
    {
        return std::make_unique<AuthManager>(new NetworkManager(origin), keychain(backend));
    }
    std::unique_ptr<AuthManager> manager() { return manager(server.origin()); }
    static void settle(AuthManager& auth)
    {
        ASSERT_TRUE(test::waitUntil([&] { return !auth.isLoading(); }));
    }

    ~AuthManagerTest() override { hold = false; }

    std::atomic<bool> hold{false}; // outlives the server, whose threads read it
    test::ScopedHome home;
    TestServer server;
    std::string loginReply = std::string(R"({"success":true,"token":"tok-ann",)") + kUser + "}";
};

} // namespace

TEST_F(AuthManagerTest, AStoredTokenIsCheckedAtStartAndDroppedQuietlyWhenRejected)
{
    EXPECT_FALSE(manager()->isLoggedIn());
    test::processEvents(100ms);
    EXPECT_TRUE(server.received().empty()) << "no token, no request";

    keychain()->save(qs("stale"));
    const auto rejected = manager();
    EXPECT_TRUE(rejected->isLoggedIn()) << "shown signed in while the token is checked";
    int errorSignals = 0;
    QObject::connect(rejected.get(), &AuthManager::errorMessageChanged, [&] { ++errorSignals; });
    ASSERT_TRUE(test::waitUntil([&] { return !rejected->isLoggedIn(); }));
    EXPECT_FALSE(keychain()->retrieve());
    EXPECT_FALSE(rejected->errorMessage());
    EXPECT_EQ(errorSignals, 0);

    // No server at all counts as a rejection too.
    keychain()->save(qs("tok-ann"));
    const auto offline = manager(qs("http://127.0.0.1:") + QString::number(test::closedPort()));
    ASSERT_TRUE(test::waitUntil([&] { return !offline->isLoggedIn(); }));
    EXPECT_FALSE(keychain()->retrieve());
}

TEST_F(AuthManagerTest, LoginStoresTheTokenPublishesTheUserAndStartsTheSync)
{
    const auto auth = manager();
    int syncs = 0, loadingSignals = 0;
    auth->setOnLoginSuccess([&] { ++syncs; });
    QObject::connect(auth.get(), &AuthManager::isLoadingChanged, [&] { ++loadingSignals; });
    auth->login(qs("ann"), qs("pw"));
    EXPECT_TRUE(auth->isLoading());
    settle(*auth);
    EXPECT_EQ(loadingSignals, 2);
    EXPECT_TRUE(auth->isLoggedIn());
    EXPECT_EQ(syncs, 1);
    EXPECT_EQ(keychain()->retrieve(), qs("tok-ann"));
    const UserInfo expected{7, qs("ann"), qs("a@x.org"), std::nullopt, 2048};
    EXPECT_EQ(auth->currentUser(), expected) << "a count the server left out stays absent";
}

TEST_F(AuthManagerTest, FailedAttemptsShowTheirMessageAndStoreNothing)
{
    const auto auth = manager();
    loginReply = std::string(R"({"success":true,)") + kUser + "}";
    auth->login(qs("ann"), qs("pw"));
    settle(*auth);
    EXPECT_EQ(auth->errorMessage(), qs("Login failed")) << "success without a token";
    loginReply = R"({"success":true,"token":""})";
    auth->login(qs("ann"), qs("pw"));
    settle(*auth);
    EXPECT_EQ(auth->errorMessage(), qs("Login failed")) << "an empty token is none";
    EXPECT_FALSE(keychain()->retrieve());

    auth->login(qs("ann"), qs("wrong"));
    EXPECT_FALSE(auth->errorMessage()) << "cleared when an attempt starts";
    settle(*auth);
    EXPECT_EQ(auth->errorMessage(), qs("Wrong password"));
    auth->registerAccount(qs("ann"), qs("a@x.org"), qs("pw"));
    settle(*auth);
    EXPECT_EQ(auth->errorMessage(), qs("Username taken"));
    EXPECT_FALSE(auth->isLoggedIn());

    const auto insecure = manager(qs("http://glimra.invalid:8787"));
    insecure->login(qs("ann"), qs("pw"));
    settle(*insecure);
    EXPECT_EQ(insecure->errorMessage(), qs("Invalid URL"));
}

TEST_F(AuthManagerTest, LogoutDuringALoginSignsOutAtOnceAndTheReplyStillCounts)
{
    const auto auth = manager();
    auth->login(qs("ann"), qs("pw"));
    settle(*auth);
    hold = true;
    auth->login(qs("ann"), qs("pw"));
    auth->login(qs("ann"), qs("wrong"));
    ASSERT_TRUE(test::waitUntil([&] { return auth->errorMessage().has_value(); }));
    EXPECT_TRUE(auth->isLoading()) << "the held login is still under way";
    auth->logout();
    EXPECT_FALSE(auth->isLoggedIn() || auth->currentUser() || auth->errorMessage());
    EXPECT_FALSE(keychain()->retrieve());
    hold = false;
    settle(*auth);
    EXPECT_TRUE(auth->isLoggedIn());
    EXPECT_EQ(keychain()->retrieve(), qs("tok-ann"));
}

TEST_F(AuthManagerTest, LateRepliesCannotUndoWhatHappenedSince)
{
    // The start-up check of a stale token answers after the user has signed in afresh.
    keychain()->save(qs("stale"));
    TestServer slow;
    slow.respond([](const Received& r, httplib::Response& out) {
        if (r.body.find("\"validate\"") != std::string::npos)
            std::this_thread::sleep_for(600ms);
        else
            out.set_content(R"({"success":true,"token":"tok-new"})", "application/json");
    });
    const auto auth = manager(slow.origin());
    auth->login(qs("ann"), qs("pw"));
    settle(*auth);
    test::processEvents(1s);
    EXPECT_TRUE(auth->isLoggedIn());
    EXPECT_EQ(keychain()->retrieve(), qs("tok-new"));

    // A manager destroyed while its login is under way is never touched by the reply.
    keychain()->remove();
    hold = true;
    auto gone = manager();
    int syncs = 0;
    gone->setOnLoginSuccess([&] { ++syncs; });
    gone->login(qs("ann"), qs("pw"));
    ASSERT_TRUE(test::waitUntil([&] { return server.received().size() == 1; }));
    gone.reset();
    hold = false;
    test::processEvents(300ms);
    EXPECT_EQ(syncs, 0);
}

TEST_F(AuthManagerTest, TheTokenSurvivesARestartInEitherStore)
{
    ASSERT_TRUE(KeychainHelper::secretServiceAnswers()) << "run inside scripts/test.sh";
    for (const Backend backend : {Backend::File, Backend::SecretService}) {
        {
            const auto first = manager(server.origin(), backend);
            first->login(qs("ann"), qs("pw"));
            settle(*first);
        }
        const auto restarted = manager(server.origin(), backend);
        EXPECT_TRUE(restarted->isLoggedIn());
        int syncs = 0;
        restarted->setOnLoginSuccess([&] { ++syncs; });
        ASSERT_TRUE(test::waitUntil([&] { return restarted->currentUser().has_value(); }));
        EXPECT_TRUE(restarted->isLoggedIn());
        EXPECT_EQ(syncs, 1) << "an accepted token is a sign-in like any other";
        restarted->logout();
        EXPECT_FALSE(keychain(backend)->retrieve());
    }
}

TEST(UserInfo, MembersOfTheWrongTypeFallBack)
{
    const auto parse = [](const char* json) {
        return UserInfo::fromJson(QJsonDocument::fromJson(json).object());
    };
    EXPECT_EQ(parse(R"({"id":1e30,"username":5,"screenshot_count":"3","storage_used_bytes":1.5})"),
              UserInfo{});
    const UserInfo user = parse(R"({"screenshot_count":0,"storage_used_bytes":9007199254740993})");
    EXPECT_EQ(user.screenshotCount, 0) << "a reported 0 is not an absent count";
    EXPECT_EQ(user.storageUsedBytes, 9007199254740993LL) << "beyond a double's precision";
}
