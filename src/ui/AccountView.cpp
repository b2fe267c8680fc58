#include "ui/AccountView.h"

#include "account/AuthManager.h"

namespace glimra {

AccountView::AccountView(AuthManager* authManager, QWidget* parent)
    : QWidget(parent), m_authManager(authManager)
{}

} // namespace glimra
