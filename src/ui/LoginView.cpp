// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/LoginView.h"

#include "account/AuthManager.h"
#include "core/Settings.h"
#include "sync/NetworkManager.h"
#include "sync/Protocol.h"
#include "ui/FormParts.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QVBoxLayout>

namespace glimra {

using style::TextStyle;

namespace {

QLineEdit* field(const QString& placeholder, QWidget* parent, const char* name)
{
    auto* edit = new QLineEdit(parent);
    edit->setPlaceholderText(placeholder);
    edit->setAccessibleName(placeholder);
    edit->setObjectName(QLatin1StringView(name));
    edit->setClearButtonEnabled(false);
    return edit;
}

QColor red(const QWidget*)
{
    return style::red();
}

// An icon and a wrapped red caption, the one way this form shows a problem.
QWidget* problemRow(QLabel** text, QWidget* parent)
{
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* icon = new QLabel(row);
    form::setSymbol(icon, u"exclamationmark.circle.fill", 14, style::red());
    *text = form::label(QString(), TextStyle::Caption, row, red);
    (*text)->setWordWrap(true);
    layout->addWidget(icon, 0, Qt::AlignTop);
    layout->addWidget(*text, 1);
    return row;
}

} // namespace

LoginView::LoginView(AuthManager* authManager, QWidget* parent)
    : QWidget(parent), m_authManager(authManager)
{
    setFixedWidth(280);
    auto* layout = form::popupColumn(this);

    m_title = form::label(QString(), TextStyle::Headline, this);
    m_title->setAlignment(Qt::AlignCenter);
    layout->addWidget(m_title);

    auto* fields = new QVBoxLayout;
    fields->setSpacing(10);
    m_username = field(tr("Username"), this, "username");
    m_email = field(tr("Email"), this, "email");
    m_password = field(tr("Password"), this, "password");
    m_password->setEchoMode(QLineEdit::Password);
    m_server = field(tr("Server"), this, "server");
    m_server->setToolTip(tr("The address of the Glimra server to sign in to"));
    m_server->setText(m_authManager->network()->origin());
    fields->addWidget(m_username);
    fields->addWidget(m_email);
    fields->addWidget(m_password);
    // Filled in, so its placeholder would never show: it gets a caption of its own.
    auto* serverCaption = form::label(tr("Server"), TextStyle::Caption2, this,
                                      [](const QWidget* w) { return style::secondary(w); });
    serverCaption->setBuddy(m_server);
    auto* serverField = new QVBoxLayout;
    serverField->setSpacing(2);
    serverField->addWidget(serverCaption);
    serverField->addWidget(m_server);
    fields->addLayout(serverField);
    QWidget* serverRow = problemRow(&m_serverProblem, this);
    serverRow->setObjectName(QStringLiteral("serverProblem"));
    fields->addWidget(serverRow);
    layout->addLayout(fields);

    m_errorRow = problemRow(&m_errorText, this);
    m_errorRow->setObjectName(QStringLiteral("error"));
    layout->addWidget(m_errorRow);

    m_submit = new form::ProminentButton(this);
    m_submit->setObjectName(QStringLiteral("submit"));
    layout->addWidget(m_submit);

    m_switch = new form::PlainButton(
        QString(), [](const QWidget* w) { return style::accent(w); }, this);
    m_switch->setObjectName(QStringLiteral("switchMode"));
    m_switch->setFont(style::font(TextStyle::Caption));
    layout->addWidget(m_switch, 0, Qt::AlignHCenter);

    setTabOrder(m_username, m_email);
    setTabOrder(m_email, m_password);
    setTabOrder(m_password, m_server);
    setTabOrder(m_server, m_submit);
    setTabOrder(m_submit, m_switch);

    // Return in a field deliberately submits nothing: only the button signs in, so a half
    // typed form is never sent by a stray key.
    for (QLineEdit* edit : {m_username, m_email, m_password})
        connect(edit, &QLineEdit::textChanged, this, &LoginView::refresh);
    connect(m_server, &QLineEdit::textEdited, this, [this] {
        m_serverProblem->clear();
        refresh();
    });
    connect(m_submit, &QAbstractButton::clicked, this, &LoginView::submit);
    connect(m_switch, &QAbstractButton::clicked, this,
            [this] { setRegistering(!m_isRegistering); });
    connect(m_authManager, &AuthManager::isLoadingChanged, this, &LoginView::refresh);
    connect(m_authManager, &AuthManager::errorMessageChanged, this, &LoginView::refresh);
    // Signed in, the password has served its purpose; left in the form it would let anyone
    // at the desk sign the same user back in with one click after a sign-out.
    connect(m_authManager, &AuthManager::isLoggedInChanged, this, [this](bool signedIn) {
        if (signedIn)
            m_password->clear();
    });
    connect(m_authManager->network(), &NetworkManager::originChanged, this, [this] {
        if (!m_server->hasFocus())
            m_server->setText(m_authManager->network()->origin());
    });
    refresh();
}

void LoginView::setRegistering(bool registering)
{
    m_isRegistering = registering;
    // The message belonged to the other form; the typed fields stay for the user to reuse.
    m_authManager->clearErrorMessage();
    refresh();
}

bool LoginView::canSubmit() const
{
    return !m_authManager->isLoading() && !m_username->text().isEmpty() &&
           !m_password->text().isEmpty() && !(m_isRegistering && m_email->text().isEmpty());
}

void LoginView::refresh()
{
    m_title->setText(m_isRegistering ? tr("Create Account") : tr("Sign In"));
    m_email->setVisible(m_isRegistering);
    const std::optional<QString> error = m_authManager->errorMessage();
    m_errorText->setText(error.value_or(QString()));
    m_errorRow->setVisible(error.has_value());
    m_serverProblem->parentWidget()->setVisible(!m_serverProblem->text().isEmpty());
    const QString action = m_isRegistering ? tr("Register") : tr("Sign In");
    m_submit->setText(action);
    m_submit->setAccessibleName(action);
    m_submit->setBusy(m_authManager->isLoading());
    m_submit->setEnabled(canSubmit());
    m_switch->setText(m_isRegistering ? tr("Already have an account? Sign In")
                                      : tr("Don't have an account? Register"));
    m_switch->updateGeometry();
}

bool LoginView::applyServerAddress()
{
    NetworkManager* network = m_authManager->network();
    const QString typed = sync::trimmedOrigin(m_server->text());
    const QString origin = typed.isEmpty() ? NetworkManager::defaultOrigin() : typed;
    if (origin == network->origin()) {
        m_serverProblem->clear();
        refresh();
        return true;
    }
    if (!network->setOrigin(origin)) {
        m_serverProblem->setText(
            tr("Not a server address Glimra can use: it must start with https:// "
               "(http:// only for this computer)."));
        refresh();
        return false;
    }
    m_serverProblem->clear();
    if (typed.isEmpty())
        openSettings()->remove(settings::kServerOrigin);
    else
        openSettings()->setValue(settings::kServerOrigin, typed);
    m_server->setText(network->origin());
    refresh();
    return true;
}

void LoginView::submit()
{
    if (!canSubmit() || !applyServerAddress())
        return;
    // The texts go as typed: the server alone judges them.
    if (m_isRegistering)
        m_authManager->registerAccount(m_username->text(), m_email->text(), m_password->text());
    else
        m_authManager->login(m_username->text(), m_password->text());
}

} // namespace glimra
