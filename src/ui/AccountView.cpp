// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/AccountView.h"

#include "account/AuthManager.h"
#include "sync/NetworkManager.h"
#include "ui/FormParts.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace glimra {

using style::TextStyle;

namespace {
QColor secondary(const QWidget* widget)
{
    return style::secondary(widget);
}
} // namespace

AccountView::AccountView(AuthManager* authManager, QWidget* parent)
    : QWidget(parent), m_authManager(authManager)
{
    setFixedWidth(260);
    auto* layout = form::popupColumn(this);

    auto* user = new QHBoxLayout;
    auto* icon = new QLabel(this);
    form::setSymbol(icon, u"person.circle.fill",
                    QFontMetrics(style::font(TextStyle::Title)).height());
    user->addWidget(icon, 0, Qt::AlignTop);
    auto* lines = new QVBoxLayout;
    lines->setSpacing(2);
    m_name = form::label(QString(), TextStyle::Headline, this);
    m_name->setObjectName(QStringLiteral("name"));
    m_email = form::label(QString(), TextStyle::Caption, this, secondary);
    m_email->setObjectName(QStringLiteral("email"));
    m_server = form::label(QString(), TextStyle::Caption2, this, secondary);
    m_server->setObjectName(QStringLiteral("server"));
    m_server->setToolTip(tr("The Glimra server this account lives on"));
    m_server->setTextInteractionFlags(Qt::TextSelectableByMouse);
    for (QLabel* line : {m_name, m_email, m_server}) {
        line->setMinimumWidth(0);
        line->setWordWrap(true);
        lines->addWidget(line);
    }
    user->addLayout(lines, 1);
    layout->addLayout(user);

    layout->addWidget(form::divider(this));

    m_signOut = new QPushButton(tr("Sign Out"), this);
    m_signOut->setObjectName(QStringLiteral("signOut"));
    m_signOut->setFont(style::font(TextStyle::Caption));
    m_signOut->setAutoDefault(false);
    m_signOut->setStyleSheet(QStringLiteral("color: %1").arg(style::red().name()));
    layout->addWidget(m_signOut, 0, Qt::AlignHCenter);

    connect(m_signOut, &QPushButton::clicked, m_authManager, &AuthManager::logout);
    connect(m_authManager, &AuthManager::currentUserChanged, this, &AccountView::refresh);
    connect(m_authManager->network(), &NetworkManager::originChanged, this, &AccountView::refresh);
    refresh();
}

void AccountView::refresh()
{
    const std::optional<UserInfo> user = m_authManager->currentUser();
    // Signed in on a stored token the server has not confirmed yet: no record to show.
    m_name->setText(user ? user->username : tr("User"));
    const QString email = user ? user->email : QString();
    m_email->setText(email);
    m_email->setVisible(!email.isEmpty());
    m_server->setText(m_authManager->network()->origin());
}

} // namespace glimra
