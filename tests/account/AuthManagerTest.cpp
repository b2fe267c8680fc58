// SPDX-License-Identifier: GPL-3.0-or-later
#include "account/AuthManager.h"
#include "account/KeychainHelper.h"
#include "account/UserInfo.h"
#include "sync/NetworkManager.h"

#include "TestServer.h"
#include "TestSupport.h"

#include <algorithm>
#include <atomic>
#include <tuple>

namespace {

const std::string kUser =
    R"("user":{"id":7,"username":"ann","email":"a@x.org","storage_used_bytes":9007199254740993})";

// One account, "ann" with password "pw" and token "tok-ann". Logins and registrations with
// that password answer loginReply; they, or validations, can be held back until let go.
class AuthManagerTest : public ::testing::Test {
protected:
    AuthManagerTest()
    {
        server.respond([this](const Received& r, httplib::Response& out) {
            const QByteArray in = QByteArray::fromStdString(r.body);
            const bool validation = in.contains("\"validate\""), password = in.contains("\"pw\"");
            while (validation ? holdValidation.load() : hold && password)
                std::this_thread::sleep_for(5ms);
            std::string body = R"({"success":false,"error":"Wrong password"})";
            if (validation && in.contains("\"tok-ann\""))
                body = R"({"success":true,)" + kUser + "}";
            else if (validation)
                out.status = 401;
            else if (password)
                body = loginReply;
            out.set_content(body, "application/json");
        });
    }
    ~AuthManagerTest() override { hold = holdValidation = false; }

    static std::unique_ptr<KeychainHelper> keychain()
    {
        return std::make_unique<KeychainHelper>(u"com.tarnwick.glimra.test.auth"_s,
                                                KeychainHelper::Backend::File);
    }
    std::unique_ptr<AuthManager> manager()
    {
        return std::make_unique<AuthManager>(new NetworkManager(server.origin()), keychain());
    }
    static void settle(AuthManager& auth)
    {
        ASSERT_TRUE(waitUntil([&] { return !auth.isLoading(); }));
    }

    std::atomic<bool> hold{false}, holdValidation{false}; // outlive the server's threads
    ScopedHome home;
    TestServer server;
    std::string loginReply = R"({"success":true,"token":"tok-ann",)" + kUser + "}";
};

} // namespace

TEST_F(AuthManagerTest, LoginSignsInAndALogoutDuringAnotherLetsThatOneStillCount)
{
    const auto auth = manager();
    int syncs = 0, loadingSignals = 0;
    auth->setOnLoginSuccess([&] { ++syncs; });
    QObject::connect(auth.get(), &AuthManager::isLoadingChanged, [&] { ++loadingSignals; });
    auth->login(u"ann"_s, u"pw"_s);
    EXPECT_TRUE(auth->isLoading());
    settle(*auth);
    EXPECT_TRUE(auth->isLoggedIn() && syncs == 1 && loadingSignals == 2);
    EXPECT_EQ(keychain()->retrieve(), u"tok-ann"_s);
    // A count the server left out stays absent; one beyond a double's precision stays exact.
    const UserInfo expected{7, u"ann"_s, u"a@x.org"_s, std::nullopt, 9007199254740993};
    EXPECT_EQ(auth->currentUser(), expected);

    hold = true;
    auth->login(u"ann"_s, u"pw"_s);
    auth->login(u"ann"_s, u"wrong"_s);
    ASSERT_TRUE(waitUntil([&] { return auth->errorMessage().has_value(); }));
    EXPECT_TRUE(auth->isLoading()) << "the held login is still under way";
    auth->logout();
    EXPECT_FALSE(auth->isLoggedIn() || auth->currentUser() || auth->errorMessage() ||
                 keychain()->retrieve());
    // The server is told to revoke the token; its refusal ("Wrong password") changes nothing.
    EXPECT_TRUE(waitUntil([&] {
        return std::ranges::count_if(server.received(), [](const Received& r) {
                   return r.body.find(R"("action":"logout","token":"tok-ann")") !=
                          std::string::npos;
               }) == 1;
    }));
    hold = false;
    settle(*auth);
    EXPECT_TRUE(auth->isLoggedIn() && syncs == 2);
    EXPECT_EQ(keychain()->retrieve(), u"tok-ann"_s);
}

TEST_F(AuthManagerTest, FailedAttemptsShowTheirMessageAndStoreNothing)
{
    const auto auth = manager();
    const std::tuple<std::string, bool, QString, QString> attempts[] = {
        {R"({"success":true,)" + kUser + "}", false, u"pw"_s, u"Login failed"_s}, // no token
        {R"({"success":true,"token":""})", false, u"pw"_s, u"Login failed"_s},
        {R"({"success":false})", true, u"pw"_s, u"Registration failed"_s},
    };
    for (const auto& [reply, registration, password, message] : attempts) {
        loginReply = reply;
        if (registration)
            auth->registerAccount(u"ann"_s, u"a@x.org"_s, password);
        else
            auth->login(u"ann"_s, password);
        EXPECT_FALSE(auth->errorMessage()) << "cleared when an attempt starts";
        settle(*auth);
        EXPECT_EQ(auth->errorMessage(), message);
    }
    EXPECT_FALSE(auth->isLoggedIn() || keychain()->retrieve());
}

// A token outlives its manager (that each store keeps it is the keychain tests' business); the
// next one checks it with the server at start, shows the user signed in meanwhile, and drops a
// rejected token quietly.
TEST_F(AuthManagerTest, AStoredTokenIsCheckedAtStartAndLateRepliesUndoNothingSince)
{
    {
        const auto first = manager();
        first->login(u"ann"_s, u"pw"_s);
        settle(*first);
    }
    const auto restarted = manager();
    int syncs = 0;
    restarted->setOnLoginSuccess([&] { ++syncs; });
    EXPECT_TRUE(restarted->isLoggedIn());
    ASSERT_TRUE(waitUntil([&] { return restarted->currentUser().has_value(); }));
    EXPECT_TRUE(restarted->isLoggedIn() && syncs == 1) << "a sign-in like any other";

    keychain()->save(u"stale"_s);
    const auto rejected = manager();
    EXPECT_TRUE(rejected->isLoggedIn());
    ASSERT_TRUE(waitUntil([&] { return !rejected->isLoggedIn(); }));
    EXPECT_FALSE(keychain()->retrieve() || rejected->errorMessage());

    // The start-up check of a stale token answers after the user has signed in afresh.
    keychain()->save(u"stale"_s);
    holdValidation = true;
    const auto auth = manager();
    auth->login(u"ann"_s, u"pw"_s);
    settle(*auth);
    holdValidation = false;
    EXPECT_TRUE(holdsFor([&] { return auth->isLoggedIn(); }, 500ms));
    EXPECT_EQ(keychain()->retrieve(), u"tok-ann"_s);

    // A manager destroyed while its login is under way is never touched by the reply.
    keychain()->remove();
    hold = true;
    auto gone = manager();
    int goneSyncs = 0;
    gone->setOnLoginSuccess([&] { ++goneSyncs; });
    const std::size_t sent = server.received().size();
    gone->login(u"ann"_s, u"pw"_s);
    ASSERT_TRUE(waitUntil([&] { return server.received().size() == sent + 1; }));
    gone.reset();
    hold = false;
    EXPECT_TRUE(holdsFor([&] { return goneSyncs == 0; }, 300ms));
}
