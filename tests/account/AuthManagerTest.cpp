#include "account/AuthManager.h"
#include "account/KeychainHelper.h"
#include "sync/NetworkManager.h"

#include "TestServer.h"
#include "TestSupport.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

using namespace glimra;
using glimra::test::TestServer;
using namespace std::chrono_literals;

namespace {

std::string actionOf(const TestServer::Request& request)
{
    return QJsonDocument::fromJson(QByteArray::fromStdString(request.body))
        .object()
        .value(QStringLiteral("action"))
        .toString()
        .toStdString();
}

// A server that knows one account: "ann" / "pw", token "tok-ann". The login reply can be
// held back until the test releases it.
class AccountServer {
public:
    AccountServer()
    {
        m_server.setResponder([this](const TestServer::Request& r) {
            const QJsonObject body =
                QJsonDocument::fromJson(QByteArray::fromStdString(r.body)).object();
            const std::string action = actionOf(r);
            if (action == "validate") {
                if (body.value(QStringLiteral("token")).toString() == QStringLiteral("tok-ann"))
                    return TestServer::Reply::with(200, kUser);
                return TestServer::Reply::with(401, R"({"success":false,"error":"Invalid token"})");
            }
            if (action == "login") {
                if (body.value(QStringLiteral("password")).toString() != QStringLiteral("pw"))
                    return TestServer::Reply::with(200,
                                                   R"({"success":false,"error":"Wrong password"})");
                while (m_holdLogin.load())
                    std::this_thread::sleep_for(5ms);
                return TestServer::Reply::with(200, m_loginReply);
            }
            if (action == "register")
                return TestServer::Reply::with(200,
                                               R"({"success":false,"error":"Username taken"})");
            return TestServer::Reply::with(400, "{}");
        });
    }

    QString origin() const { return m_server.origin(); }
    std::size_t requestCount() const { return m_server.requestCount(); }
    std::vector<TestServer::Request> requests() const { return m_server.requests(); }
    void holdLogin(bool hold) { m_holdLogin = hold; }
    void setLoginReply(std::string reply) { m_loginReply = std::move(reply); }

    static constexpr const char* kUser =
        R"({"success":true,"user":{"id":7,"username":"ann","email":"ann@x.org","storage_used_bytes":2048}})";

private:
    std::atomic<bool> m_holdLogin{false};
    std::string m_loginReply =
        R"({"success":true,"token":"tok-ann","user":{"id":7,"username":"ann","email":"ann@x.org","storage_used_bytes":2048}})";
    TestServer m_server;
};

class AuthManagerTest : public ::testing::Test {
protected:
    std::unique_ptr<KeychainHelper>
    keychain(KeychainHelper::Backend backend = KeychainHelper::Backend::File)
    {
        return std::make_unique<KeychainHelper>(kService, backend);
    }
    std::unique_ptr<AuthManager>
    manager(const QString& origin, KeychainHelper::Backend backend = KeychainHelper::Backend::File)
    {
        return std::make_unique<AuthManager>(new NetworkManager(origin), keychain(backend));
    }
    std::unique_ptr<AuthManager> manager() { return manager(server.origin()); }

    const QString kService = QStringLiteral("com.tarnwick.glimra.test.auth");
    test::ScopedHome home;
    AccountServer server;
};

// Counts emissions of a signal for as long as it lives.
class SignalCounter {
public:
    template <typename Signal>
    SignalCounter(AuthManager* sender, Signal signal)
        : m_connection(QObject::connect(sender, signal, [this] { ++m_count; }))
    {}
    ~SignalCounter() { QObject::disconnect(m_connection); }
    int count() const { return m_count; }

private:
    int m_count = 0;
    QMetaObject::Connection m_connection;
};

} // namespace

TEST_F(AuthManagerTest, StartWithoutATokenStaysSignedOutAndAsksNothing)
{
    const auto auth = manager();
    test::processEvents(100ms);
    EXPECT_FALSE(auth->isLoggedIn());
    EXPECT_FALSE(auth->currentUser());
    EXPECT_EQ(server.requestCount(), 0u);
}

TEST_F(AuthManagerTest, ARejectedStoredTokenSignsOutSilently)
{
    keychain()->save(QStringLiteral("stale"));
    const auto auth = manager();
    EXPECT_TRUE(auth->isLoggedIn()) << "shown signed in while the token is checked";
    const SignalCounter loggedIn(auth.get(), &AuthManager::isLoggedInChanged);
    const SignalCounter errors(auth.get(), &AuthManager::errorMessageChanged);

    ASSERT_TRUE(test::waitUntil([&] { return !auth->isLoggedIn(); }));
    EXPECT_EQ(loggedIn.count(), 1);
    EXPECT_FALSE(keychain()->retrieve());
    EXPECT_FALSE(auth->errorMessage());
    EXPECT_EQ(errors.count(), 0);
}

TEST_F(AuthManagerTest, AnUnreachableServerAtStartIsTreatedAsARejection)
{
    keychain()->save(QStringLiteral("tok-ann"));
    const auto auth =
        manager(QStringLiteral("http://127.0.0.1:") + QString::number(test::closedPort()));
    EXPECT_TRUE(auth->isLoggedIn());
    ASSERT_TRUE(test::waitUntil([&] { return !auth->isLoggedIn(); }));
    EXPECT_FALSE(keychain()->retrieve());
    EXPECT_FALSE(auth->errorMessage());
}

TEST_F(AuthManagerTest, AnAcceptedStoredTokenSignsInAndStartsTheSync)
{
    keychain()->save(QStringLiteral("tok-ann"));
    const auto auth = manager();
    int syncs = 0;
    auth->setOnLoginSuccess([&] { ++syncs; });
    ASSERT_TRUE(test::waitUntil([&] { return auth->currentUser().has_value(); }));
    EXPECT_TRUE(auth->isLoggedIn());
    EXPECT_EQ(auth->currentUser()->username, QStringLiteral("ann"));
    EXPECT_EQ(syncs, 1);
    EXPECT_EQ(keychain()->retrieve(), QStringLiteral("tok-ann"));
}

TEST_F(AuthManagerTest, LoginStoresTheTokenAndPublishesTheUser)
{
    const auto auth = manager();
    int syncs = 0;
    auth->setOnLoginSuccess([&] { ++syncs; });
    const SignalCounter loading(auth.get(), &AuthManager::isLoadingChanged);

    auth->login(QStringLiteral("ann"), QStringLiteral("pw"));
    EXPECT_TRUE(auth->isLoading());
    ASSERT_TRUE(test::waitUntil([&] { return !auth->isLoading(); }));
    EXPECT_EQ(loading.count(), 2);
    EXPECT_TRUE(auth->isLoggedIn());
    EXPECT_FALSE(auth->errorMessage());
    ASSERT_TRUE(auth->currentUser());
    EXPECT_EQ(auth->currentUser()->id, 7);
    EXPECT_EQ(auth->currentUser()->storageUsedBytes, 2048);
    EXPECT_FALSE(auth->currentUser()->screenshotCount) << "absent, not 0";
    EXPECT_EQ(syncs, 1);
    EXPECT_EQ(keychain()->retrieve(), QStringLiteral("tok-ann"));
}

TEST_F(AuthManagerTest, FailedLoginsShowTheirMessageAndStoreNothing)
{
    const auto auth = manager();
    server.setLoginReply(R"({"success":true,"user":{"id":7}})");
    auth->login(QStringLiteral("ann"), QStringLiteral("pw"));
    ASSERT_TRUE(test::waitUntil([&] { return !auth->isLoading(); }));
    EXPECT_EQ(auth->errorMessage(), QStringLiteral("Login failed"));
    EXPECT_FALSE(auth->isLoggedIn());
    EXPECT_FALSE(keychain()->retrieve());

    server.setLoginReply(R"({"success":true,"token":"","user":{}})");
    auth->login(QStringLiteral("ann"), QStringLiteral("pw"));
    ASSERT_TRUE(test::waitUntil([&] { return !auth->isLoading(); }));
    EXPECT_EQ(auth->errorMessage(), QStringLiteral("Login failed")) << "an empty token is none";
    EXPECT_FALSE(keychain()->retrieve());

    auth->login(QStringLiteral("ann"), QStringLiteral("wrong"));
    EXPECT_FALSE(auth->errorMessage()) << "cleared when a new attempt starts";
    ASSERT_TRUE(test::waitUntil([&] { return !auth->isLoading(); }));
    EXPECT_EQ(auth->errorMessage(), QStringLiteral("Wrong password"));

    auth->registerAccount(QStringLiteral("ann"), QStringLiteral("a@x.org"), QStringLiteral("pw"));
    ASSERT_TRUE(test::waitUntil([&] { return !auth->isLoading(); }));
    EXPECT_EQ(auth->errorMessage(), QStringLiteral("Username taken"));
    EXPECT_FALSE(auth->isLoggedIn());
}

TEST_F(AuthManagerTest, PlainHttpToAnotherHostFailsWithoutSending)
{
    const auto auth = manager(QStringLiteral("http://glimra.invalid:8787"));
    auth->login(QStringLiteral("ann"), QStringLiteral("pw"));
    ASSERT_TRUE(test::waitUntil([&] { return !auth->isLoading(); }, 1s));
    EXPECT_EQ(auth->errorMessage(), QStringLiteral("Invalid URL"));
    EXPECT_FALSE(auth->isLoggedIn());
}

TEST_F(AuthManagerTest, LogoutDuringALoginSignsOutAtOnceAndTheReplyStillCounts)
{
    const auto auth = manager();
    auth->login(QStringLiteral("ann"), QStringLiteral("pw"));
    ASSERT_TRUE(test::waitUntil([&] { return !auth->isLoading(); }));
    ASSERT_TRUE(auth->isLoggedIn());

    server.holdLogin(true);
    auth->login(QStringLiteral("ann"), QStringLiteral("pw"));
    ASSERT_TRUE(test::waitUntil([&] { return server.requestCount() == 2; }));
    auth->logout();
    EXPECT_FALSE(auth->isLoggedIn());
    EXPECT_FALSE(auth->currentUser());
    EXPECT_FALSE(keychain()->retrieve());
    EXPECT_TRUE(auth->isLoading());

    server.holdLogin(false);
    ASSERT_TRUE(test::waitUntil([&] { return !auth->isLoading(); }));
    EXPECT_TRUE(auth->isLoggedIn());
    EXPECT_EQ(keychain()->retrieve(), QStringLiteral("tok-ann"));
}

TEST_F(AuthManagerTest, OverlappingLoginsKeepLoadingUntilTheLastReply)
{
    const auto auth = manager();
    server.holdLogin(true);
    auth->login(QStringLiteral("ann"), QStringLiteral("pw"));
    auth->login(QStringLiteral("ann"), QStringLiteral("wrong"));
    ASSERT_TRUE(test::waitUntil([&] { return auth->errorMessage().has_value(); }));
    EXPECT_TRUE(auth->isLoading()) << "the held login is still under way";
    server.holdLogin(false);
    ASSERT_TRUE(test::waitUntil([&] { return !auth->isLoading(); }));
    EXPECT_TRUE(auth->isLoggedIn());
}

TEST_F(AuthManagerTest, AStartUpCheckAnsweringLateCannotUndoANewerSignIn)
{
    keychain()->save(QStringLiteral("stale"));
    TestServer slow;
    slow.setResponder([](const TestServer::Request& r) {
        if (actionOf(r) == "login")
            return TestServer::Reply::with(200, R"({"success":true,"token":"tok-new"})");
        TestServer::Reply rejection = TestServer::Reply::with(401, R"({"success":false})");
        rejection.delay = 600ms;
        return rejection;
    });
    const auto auth = manager(slow.origin());
    auth->login(QStringLiteral("ann"), QStringLiteral("pw"));
    ASSERT_TRUE(test::waitUntil([&] { return !auth->isLoading(); }));
    ASSERT_TRUE(auth->isLoggedIn());
    ASSERT_EQ(slow.requestCount(), 2u);
    test::processEvents(1s); // the rejection of the stale token arrives meanwhile
    EXPECT_TRUE(auth->isLoggedIn());
    EXPECT_EQ(keychain()->retrieve(), QStringLiteral("tok-new"));
}

TEST_F(AuthManagerTest, ADestroyedManagerIgnoresItsLateReplies)
{
    server.holdLogin(true);
    auto auth = manager();
    int syncs = 0;
    auth->setOnLoginSuccess([&] { ++syncs; });
    auth->login(QStringLiteral("ann"), QStringLiteral("pw"));
    ASSERT_TRUE(test::waitUntil([&] { return server.requestCount() == 1; }));
    auth.reset();
    server.holdLogin(false);
    test::processEvents(300ms);
    EXPECT_EQ(syncs, 0);
    EXPECT_FALSE(keychain()->retrieve());
}

// A restart is a new manager over the same store; it must find the user signed in.
TEST_F(AuthManagerTest, TheTokenSurvivesARestartInEitherStore)
{
    std::vector<KeychainHelper::Backend> backends{KeychainHelper::Backend::File};
    if (KeychainHelper::secretServiceAnswers())
        backends.push_back(KeychainHelper::Backend::SecretService);
    else
        ADD_FAILURE() << "no Secret Service: run inside scripts/test.sh";
    for (const KeychainHelper::Backend backend : backends) {
        SCOPED_TRACE(static_cast<int>(backend));
        {
            const auto first = manager(server.origin(), backend);
            first->login(QStringLiteral("ann"), QStringLiteral("pw"));
            ASSERT_TRUE(test::waitUntil([&] { return !first->isLoading(); }));
            ASSERT_TRUE(first->isLoggedIn());
        }
        const auto second = manager(server.origin(), backend);
        EXPECT_TRUE(second->isLoggedIn());
        ASSERT_TRUE(test::waitUntil([&] { return second->currentUser().has_value(); }));
        EXPECT_TRUE(second->isLoggedIn());
        EXPECT_EQ(second->currentUser()->username, QStringLiteral("ann"));
        second->logout();
        EXPECT_FALSE(keychain(backend)->retrieve());
    }
}
