// SPDX-License-Identifier: GPL-3.0-or-later
#include "account/KeychainHelper.h"

#include "platform/linux/PrivateFileStore.h"
#include "platform/linux/SecretServiceStore.h"

#include <QDir>
#include <QStringDecoder>

namespace glimra {

namespace {

QString stateHome()
{
    // Relative values are invalid by the XDG rules and must be ignored.
    const QString configured = qEnvironmentVariable("XDG_STATE_HOME");
    if (!configured.isEmpty() && QDir::isAbsolutePath(configured))
        return configured;
    return QDir::homePath() + QStringLiteral("/.local/state");
}

std::optional<QString> decodeUtf8(const QByteArray& bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

} // namespace

bool KeychainHelper::secretServiceAnswers()
{
    return SecretServiceStore::answers();
}

KeychainHelper::KeychainHelper(const QString& service, Backend backend)
    : m_service(service), m_backend(backend),
      m_file(std::make_unique<PrivateFileStore>(stateHome() + QStringLiteral("/Glimra")))
{
    if (m_backend == Backend::Automatic)
        m_backend = secretServiceAnswers() ? Backend::SecretService : Backend::File;
    if (m_backend == Backend::SecretService)
        m_keyring = std::make_unique<SecretServiceStore>("com.tarnwick.glimra.Token",
                                                         "Glimra session token");
}

KeychainHelper::~KeychainHelper() = default;

QString KeychainHelper::fallbackFilePath() const
{
    return m_file->pathFor(m_service, account());
}

void KeychainHelper::save(const QString& token)
{
    const QByteArray bytes = token.toUtf8();
    // A locked or broken keyring must not sign the user out at the next start: the private
    // file keeps the token instead, and is dropped once the keyring works.
    if (m_keyring && m_keyring->store(m_service, account(), bytes)) {
        m_file->remove(m_service, account());
        return;
    }
    m_file->store(m_service, account(), bytes);
}

std::optional<QString> KeychainHelper::retrieve() const
{
    std::optional<QByteArray> bytes;
    if (m_keyring)
        bytes = m_keyring->lookup(m_service, account());
    if (!bytes)
        bytes = m_file->lookup(m_service, account());
    if (!bytes)
        return std::nullopt;
    return decodeUtf8(*bytes);
}

void KeychainHelper::remove()
{
    if (m_keyring)
        m_keyring->remove(m_service, account());
    m_file->remove(m_service, account());
}

} // namespace glimra
