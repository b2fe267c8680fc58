// SPDX-License-Identifier: GPL-3.0-or-later
#include "account/AuthManager.h"
#include "account/KeychainHelper.h"
#include "core/Settings.h"
#include "sync/NetworkManager.h"
#include "ui/AccountView.h"
#include "ui/FormParts.h"
#include "ui/LoginView.h"

#include "TestServer.h"
#include "TestSupport.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <atomic>

namespace {

// "ann" signs in with "pw"; anything else is refused with the server's own text. Replies
// can be held back to watch the form while a request is under way.
class AccountViewsTest : public ::testing::Test {
protected:
    AccountViewsTest()
    {
        server.respond([this](const Received& r, httplib::Response& out) {
            while (hold)
                std::this_thread::sleep_for(5ms);
            const bool ok = QByteArray::fromStdString(r.body).contains("\"pw\"");
            out.set_content(ok ? R"({"success":true,"token":"t",)" + userJson + "}"
                               : std::string(R"({"success":false,"error":"Wrong password"})"),
                            "application/json");
        });
    }
    ~AccountViewsTest() override { hold = false; }

    template <typename T> T* child(const QWidget& view, const char* name)
    {
        T* found = view.findChild<T*>(QLatin1StringView(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    void type(const QWidget& view, const char* name, const QString& text)
    {
        QLineEdit* edit = child<QLineEdit>(view, name);
        edit->clear();
        QTest::keyClicks(edit, text);
    }

    std::atomic<bool> hold{false};
    std::string userJson = R"("user":{"username":"ann","email":"a@x.org"})";
    ScopedHome home;
    TestServer server;
    AuthManager auth{
        new NetworkManager(server.origin()),
        std::make_unique<KeychainHelper>(u"glimra.test.views"_s, KeychainHelper::Backend::File)};
};

TEST_F(AccountViewsTest, MainButtonNeedsEveryFieldTheModeUsesAndAFailureShowsTheServersText)
{
    // Registering; user name, e-mail and password typed; the main button enabled.
    const std::tuple<bool, QString, QString, QString, bool> cases[] = {
        {false, u"ann"_s, {}, u"pw"_s, true},
        {false, u"   "_s, {}, u"pw"_s, true}, // blanks are a name, sent as typed
        {false, {}, {}, u"pw"_s, false},
        {false, u"ann"_s, u"a@x.org"_s, {}, false},
        {false, u"ann"_s, {}, u" "_s, true},
        {true, u"ann"_s, {}, u"pw"_s, false},
        {true, u"ann"_s, u"a@x.org"_s, u"pw"_s, true},
    };
    LoginView view(&auth);
    view.show();
    for (const auto& [registering, username, email, password, enabled] : cases) {
        view.setRegistering(registering);
        type(view, "username", username);
        child<QLineEdit>(view, "email")->setText(email);
        type(view, "password", password);
        EXPECT_EQ(child<QAbstractButton>(view, "submit")->isEnabled(), enabled)
            << registering << qPrintable(username + u'/' + email + u'/' + password);
        EXPECT_EQ(child<QLineEdit>(view, "email")->isVisible(), registering);
    }

    // A failed sign-in shows the server's text until the form switches.
    view.setRegistering(false);
    type(view, "username", u"ann"_s);
    type(view, "password", u"nope"_s);
    auto* submit = child<form::ProminentButton>(view, "submit");
    // Return submits nothing: only the button does.
    QTest::keyClick(child<QLineEdit>(view, "password"), Qt::Key_Return);
    EXPECT_FALSE(auth.isLoading());
    EXPECT_TRUE(server.received().empty());

    hold = true;
    QTest::mouseClick(submit, Qt::LeftButton);
    EXPECT_TRUE(submit->isBusy());
    EXPECT_FALSE(submit->isEnabled());
    EXPECT_TRUE(child<QAbstractButton>(view, "switchMode")->isEnabled());
    hold = false;
    ASSERT_TRUE(waitUntil([&] { return !auth.isLoading(); }));
    EXPECT_FALSE(submit->isBusy());
    EXPECT_TRUE(child<QWidget>(view, "error")->isVisible());
    // The icon is as red as the text, whatever the palette's text colour.
    const QImage icon = child<QWidget>(view, "error")->findChild<QLabel*>()->pixmap().toImage();
    EXPECT_EQ(icon.pixelColor(icon.width() / 4, icon.height() / 2).rgb(), style::red().rgb());
    EXPECT_EQ(child<QWidget>(view, "error")->findChildren<QLabel*>().last()->text(),
              u"Wrong password"_s);

    QTest::mouseClick(child<QAbstractButton>(view, "switchMode"), Qt::LeftButton);
    EXPECT_TRUE(view.isRegistering());
    EXPECT_EQ(auth.errorMessage(), std::nullopt);
    EXPECT_FALSE(child<QWidget>(view, "error")->isVisible());
    EXPECT_EQ(child<QLineEdit>(view, "username")->text(), u"ann"_s);
    EXPECT_EQ(child<QLineEdit>(view, "password")->text(), u"nope"_s);
}

TEST_F(AccountViewsTest, ServerAddressIsTakenOnlyWhenUsableAndTheSignInGoesThere)
{
    const QString before = server.origin();
    // Typed; accepted; stored (absent: the key is not in the settings file).
    const std::tuple<QString, bool, std::optional<QString>> cases[] = {
        {u" https://glimra.example.org:8443/ "_s, true, u"https://glimra.example.org:8443"_s},
        {u"http://127.0.0.1:9"_s, true, u"http://127.0.0.1:9"_s},
        // Which addresses are refused is the network tests' business; here, what refusal does.
        {u"http://glimra.example.org"_s, false, std::nullopt}, // password in clear
        {u""_s, true, std::nullopt},                           // back to the built-in address
    };
    for (const auto& [typed, accepted, stored] : cases) {
        auth.network()->setOrigin(before);
        openSettings()->remove(settings::kServerOrigin);
        LoginView view(&auth);
        view.show();
        type(view, "server", typed);
        EXPECT_EQ(view.applyServerAddress(), accepted) << typed.toStdString();
        const QVariant kept = openSettings()->value(settings::kServerOrigin);
        EXPECT_EQ(kept.isValid() ? std::optional(kept.toString()) : std::nullopt, stored);
        EXPECT_EQ(child<QWidget>(view, "serverProblem")->isVisible(), !accepted);
        EXPECT_EQ(auth.network()->origin(),
                  accepted ? stored.value_or(NetworkManager::defaultOrigin()) : before);
    }

    // A sign-in goes to the address in the field; the name stays for the next one, the
    // password does not outlive this one.
    TestServer other;
    other.respond(reply(200, R"({"success":true,"token":"t2","user":{"username":"bo"}})"));
    LoginView view(&auth);
    view.show();
    type(view, "server", other.origin());
    type(view, "username", u"bo"_s);
    type(view, "password", u"x"_s);
    QTest::mouseClick(child<QAbstractButton>(view, "submit"), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return auth.isLoggedIn(); }));
    EXPECT_EQ(std::pair(other.received().size(), server.received().size()), std::pair(1ul, 0ul));
    EXPECT_EQ(openSettings()->value(settings::kServerOrigin).toString(), other.origin());
    EXPECT_EQ(child<QLineEdit>(view, "username")->text(), u"bo"_s);
    EXPECT_EQ(child<QLineEdit>(view, "password")->text(), QString());
}

TEST_F(AccountViewsTest, SigningOutInTheAccountViewForgetsTheName)
{
    userJson = R"("user":{"username":"ann","email":""})";
    auth.login(u"ann"_s, u"pw"_s);
    ASSERT_TRUE(waitUntil([&] { return auth.currentUser().has_value(); }));
    AccountView view(&auth);
    view.show();
    QTest::mouseClick(child<QPushButton>(view, "signOut"), Qt::LeftButton);
    EXPECT_FALSE(auth.isLoggedIn());
    EXPECT_EQ(child<QLabel>(view, "name")->text(), u"User"_s);
}

} // namespace
