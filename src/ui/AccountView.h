// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

namespace glimra {

class AuthManager;

// The signed-in user and "Sign Out", shown in the account popover while signed in.
class AccountView final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AccountView)
public:
    explicit AccountView(AuthManager* authManager, QWidget* parent = nullptr);

private:
    void refresh();

    AuthManager* m_authManager;
    QLabel* m_name;
    QLabel* m_email;
    QLabel* m_server;
    QPushButton* m_signOut;
};

} // namespace glimra
