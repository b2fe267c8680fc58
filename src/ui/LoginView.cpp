#include "ui/LoginView.h"

#include "account/AuthManager.h"

namespace glimra {

LoginView::LoginView(AuthManager* authManager, QWidget* parent)
    : QWidget(parent), m_authManager(authManager)
{}

} // namespace glimra
