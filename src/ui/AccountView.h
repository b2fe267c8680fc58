#pragma once

#include <QWidget>

namespace glimra {

class AuthManager;

// The signed-in user and "Sign Out", shown in the account popover while signed in.
class AccountView final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AccountView)
public:
    explicit AccountView(AuthManager* authManager, QWidget* parent = nullptr);

private:
    AuthManager* m_authManager;
};

} // namespace glimra
