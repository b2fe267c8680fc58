// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace glimra {

// Keeps small secrets, such as a session token, under a service and an account name.
// Calls are synchronous and report no more than their result.
class SecretStore {
public:
    virtual ~SecretStore() = default;
    // Replaces whatever is stored under the two names; false when nothing could be stored.
    virtual bool store(const QString& service, const QString& account,
                       const QByteArray& secret) = 0;
    // Nothing when no secret is stored or it cannot be read.
    virtual std::optional<QByteArray> lookup(const QString& service,
                                             const QString& account) const = 0;
    // Harmless when nothing is stored.
    virtual void remove(const QString& service, const QString& account) = 0;
};

} // namespace glimra
