// SPDX-License-Identifier: GPL-3.0-or-later
#include "account/AuthManager.h"

#include "account/KeychainHelper.h"
#include "sync/NetworkManager.h"

#include <QPointer>

namespace glimra {

AuthManager::AuthManager(QObject* parent)
    : AuthManager(NetworkManager::fromSettings(), std::make_unique<KeychainHelper>(), parent)
{}

AuthManager::AuthManager(NetworkManager* network, std::unique_ptr<KeychainHelper> keychain,
                         QObject* parent)
    : QObject(parent), m_network(network), m_keychain(std::move(keychain))
{
    Q_ASSERT(m_network && m_keychain);
    m_network->setParent(this);
    restoreSession();
}

AuthManager::~AuthManager() = default;

void AuthManager::restoreSession()
{
    const std::optional<QString> token = m_keychain->retrieve();
    if (!token)
        return;
    // Shown as signed in while the server checks the token, so the views do not flash the
    // login form at every start.
    setLoggedIn(true);
    verifyToken(*token);
}

void AuthManager::verifyToken(const QString& token)
{
    QPointer<AuthManager> self(this);
    const quint64 generation = m_sessionGeneration;
    m_network->validate(token, [self, generation](const sync::ValidateReply& reply) {
        if (self)
            self->handleValidation(generation, reply);
    });
}

void AuthManager::handleValidation(quint64 generation, const sync::ValidateReply& reply)
{
    // The user signed in or out while the check was under way: that decision stands, and
    // the token in the store may by now be a new one that must not be deleted.
    if (generation != m_sessionGeneration)
        return;
    if (!reply.ok) {
        // Whether rejected or unreachable, an unverified token is dropped; this is not an
        // error the user has to read.
        m_keychain->remove();
        setLoggedIn(false);
        setCurrentUser(std::nullopt);
        return;
    }
    ++m_sessionGeneration;
    setLoggedIn(true);
    setCurrentUser(UserInfo::fromJson(reply.user.value_or(QJsonObject())));
    if (m_onLoginSuccess)
        m_onLoginSuccess();
}

void AuthManager::login(const QString& username, const QString& password)
{
    beginRequest();
    QPointer<AuthManager> self(this);
    m_network->login(username, password, [self](const sync::AuthReply& reply) {
        if (self)
            self->handleAuthReply(Request::Login, reply);
    });
}

void AuthManager::registerAccount(const QString& username, const QString& email,
                                  const QString& password)
{
    beginRequest();
    QPointer<AuthManager> self(this);
    m_network->registerAccount(username, email, password, [self](const sync::AuthReply& reply) {
        if (self)
            self->handleAuthReply(Request::Registration, reply);
    });
}

void AuthManager::handleAuthReply(Request request, const sync::AuthReply& reply)
{
    endRequest();
    // An empty token is no credential: storing it would only sign the user out again at the
    // next start.
    const bool hasToken = reply.ok && reply.text && !reply.text->isEmpty();
    if (!hasToken) {
        const QString fallback = request == Request::Login ? QStringLiteral("Login failed")
                                                           : QStringLiteral("Registration failed");
        setErrorMessage(reply.ok ? fallback : reply.text.value_or(fallback));
        return;
    }
    ++m_sessionGeneration;
    m_keychain->save(*reply.text);
    setLoggedIn(true);
    setCurrentUser(UserInfo::fromJson(reply.user.value_or(QJsonObject())));
    if (m_onLoginSuccess)
        m_onLoginSuccess();
}

void AuthManager::logout()
{
    const std::optional<QString> token = m_keychain->retrieve();
    ++m_sessionGeneration;
    m_keychain->remove();
    setLoggedIn(false);
    setCurrentUser(std::nullopt);
    setErrorMessage(std::nullopt);
    // Signed out here whatever the server says; telling it only makes the token worthless to
    // anyone who copied it. A server without the action, or no answer, changes nothing.
    if (token)
        m_network->logout(*token);
}

void AuthManager::beginRequest()
{
    if (m_pendingRequests++ == 0)
        Q_EMIT isLoadingChanged(true);
    setErrorMessage(std::nullopt);
}

void AuthManager::endRequest()
{
    if (--m_pendingRequests == 0)
        Q_EMIT isLoadingChanged(false);
}

void AuthManager::setLoggedIn(bool value)
{
    if (m_isLoggedIn == value)
        return;
    m_isLoggedIn = value;
    Q_EMIT isLoggedInChanged(value);
}

void AuthManager::setCurrentUser(std::optional<UserInfo> user)
{
    if (m_currentUser == user)
        return;
    m_currentUser = std::move(user);
    Q_EMIT currentUserChanged();
}

void AuthManager::setErrorMessage(std::optional<QString> message)
{
    if (m_errorMessage == message)
        return;
    m_errorMessage = std::move(message);
    Q_EMIT errorMessageChanged();
}

} // namespace glimra
