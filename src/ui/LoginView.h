#pragma once

#include <QWidget>

namespace glimra {

class AuthManager;

// The sign-in and registration form of the account popover, shown while signed out.
class LoginView final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LoginView)
public:
    explicit LoginView(AuthManager* authManager, QWidget* parent = nullptr);

private:
    AuthManager* m_authManager;
};

} // namespace glimra
