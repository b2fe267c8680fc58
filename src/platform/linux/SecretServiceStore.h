// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/SecretStore.h"

namespace glimra {

// The desktop's Secret Service (GNOME Keyring, KWallet) through libsecret. Items carry the
// string attributes "service" and "account" and are matched on those alone, so an item
// another tool stored under the same two (secret-tool, an older build) is found and replaced.
class SecretServiceStore final : public SecretStore {
public:
    // schemaName names the items' schema; label is what keyring managers show for them.
    SecretServiceStore(QByteArray schemaName, QByteArray label);

    bool store(const QString& service, const QString& account, const QByteArray& secret) override;
    std::optional<QByteArray> lookup(const QString& service, const QString& account) const override;
    void remove(const QString& service, const QString& account) override;

    // True when a session bus is reachable and a Secret Service owns, or can be started
    // for, its well-known name. Bounded to about a second and a half, so start-up never hangs.
    static bool answers();

private:
    QByteArray m_schemaName;
    QByteArray m_label;
};

} // namespace glimra
