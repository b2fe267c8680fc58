// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;

namespace glimra {

class AuthManager;

namespace form {
class PlainButton;
class ProminentButton;
} // namespace form

// The sign-in and registration form of the account popover, shown while signed out.
//
// Besides the account fields it holds the address of the server to sign in to: a token
// belongs to one server, so the address is chosen here, before there is one.
class LoginView final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LoginView)
public:
    explicit LoginView(AuthManager* authManager, QWidget* parent = nullptr);

    bool isRegistering() const { return m_isRegistering; }
    void setRegistering(bool registering);

    // Points the session's client at the address in the server field and keeps it in the
    // settings; an address the client would refuse is not taken and the field says why.
    // An empty field means the built-in address.
    bool applyServerAddress();

private:
    void submit();
    void refresh();
    bool canSubmit() const;

    AuthManager* m_authManager;
    bool m_isRegistering = false;
    QLabel* m_title;
    QLineEdit* m_username;
    QLineEdit* m_email;
    QLineEdit* m_password;
    QLineEdit* m_server;
    QLabel* m_serverProblem;
    QWidget* m_errorRow;
    QLabel* m_errorText;
    form::ProminentButton* m_submit;
    form::PlainButton* m_switch;
};

} // namespace glimra
