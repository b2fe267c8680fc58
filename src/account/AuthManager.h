// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "account/UserInfo.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace glimra {

class KeychainHelper;
class NetworkManager;

namespace sync {
struct AuthReply;
struct ValidateReply;
} // namespace sync

// The signed-in state of the application. Lives on the GUI thread for the life of the
// process; every property change and every run of onLoginSuccess happens there.
//
// States: signed out (no token stored), restored (a stored token found at start, assumed
// valid until the server has answered) and signed in. The token itself is never held here:
// it lives in keychain() and is read from there whenever it is needed.
class AuthManager final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AuthManager)
    Q_PROPERTY(bool isLoggedIn READ isLoggedIn NOTIFY isLoggedInChanged)
    Q_PROPERTY(
        std::optional<glimra::UserInfo> currentUser READ currentUser NOTIFY currentUserChanged)
    Q_PROPERTY(bool isLoading READ isLoading NOTIFY isLoadingChanged)
    Q_PROPERTY(std::optional<QString> errorMessage READ errorMessage NOTIFY errorMessageChanged)

public:
    // Production: the server origin and CA bundle from the settings, the token in the
    // Secret Service (or its private-file fallback) under "com.tarnwick.glimra".
    explicit AuthManager(QObject* parent = nullptr);
    // Takes ownership of both. Like the production constructor it checks a stored token at
    // once: when the store holds one, isLoggedIn is true on return and a validation request
    // is under way.
    AuthManager(NetworkManager* network, std::unique_ptr<KeychainHelper> keychain,
                QObject* parent = nullptr);
    ~AuthManager() override;

    bool isLoggedIn() const { return m_isLoggedIn; }
    std::optional<UserInfo> currentUser() const { return m_currentUser; }
    // True while at least one login or registration is waiting for its reply.
    bool isLoading() const { return m_pendingRequests > 0; }
    // The message of the last failed login or registration, for the login view.
    std::optional<QString> errorMessage() const { return m_errorMessage; }

    // The client and the store the sync engine must share with the session.
    NetworkManager* network() const { return m_network; }
    KeychainHelper* keychain() const { return m_keychain.get(); }

    // Runs after every entry into the signed-in state (login, registration, and a stored
    // token the server accepted at start). It is not run once this manager is gone; the
    // callback must itself guard whatever it captures (QPointer).
    void setOnLoginSuccess(std::function<void()> callback)
    {
        m_onLoginSuccess = std::move(callback);
    }

    // Both send the strings exactly as given. On success the token is stored, isLoggedIn and
    // currentUser are set and onLoginSuccess runs; on failure errorMessage is set and the
    // rest stays as it was. isLoading is true meanwhile; the outcome shows only through the
    // properties. Overlapping requests are each handled when their reply arrives.
    void login(const QString& username, const QString& password);
    void registerAccount(const QString& username, const QString& email, const QString& password);
    // Signs out at once: the token is removed from the store, isLoggedIn becomes false,
    // currentUser and errorMessage are cleared; then the server is asked, once and without
    // waiting, to revoke the token. A login still in flight may sign the user in again when
    // its reply succeeds.
    void logout();
    // Drops the shown message, e.g. when the form switches between signing in and
    // registering; nothing else changes.
    void clearErrorMessage() { setErrorMessage(std::nullopt); }

Q_SIGNALS:
    void isLoggedInChanged(bool isLoggedIn);
    void currentUserChanged();
    void isLoadingChanged(bool isLoading);
    void errorMessageChanged();

private:
    enum class Request { Login, Registration };

    void restoreSession();
    void verifyToken(const QString& token);
    void handleValidation(quint64 generation, const sync::ValidateReply& reply);
    void handleAuthReply(Request request, const sync::AuthReply& reply);
    void beginRequest();
    void endRequest();
    void setLoggedIn(bool value);
    void setCurrentUser(std::optional<UserInfo> user);
    void setErrorMessage(std::optional<QString> message);

    NetworkManager* m_network;
    std::unique_ptr<KeychainHelper> m_keychain;
    std::function<void()> m_onLoginSuccess;
    bool m_isLoggedIn = false;
    std::optional<UserInfo> m_currentUser;
    int m_pendingRequests = 0;
    std::optional<QString> m_errorMessage;
    // Raised by every sign-in and sign-out, so a start-up check that answers after the user
    // has already acted cannot undo what the user did.
    quint64 m_sessionGeneration = 0;
};

} // namespace glimra
