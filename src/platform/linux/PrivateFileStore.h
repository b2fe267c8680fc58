// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/SecretStore.h"

namespace glimra {

// One file per secret in a folder that only the user can open, each readable by the user
// alone: for sessions without a Secret Service. A file that others could read, or that
// belongs to someone else, is not trusted.
class PrivateFileStore final : public SecretStore {
public:
    explicit PrivateFileStore(QString folder);

    // <folder>/<service>.<account>, with any slash in the name made an underscore.
    QString pathFor(const QString& service, const QString& account) const;

    bool store(const QString& service, const QString& account, const QByteArray& secret) override;
    std::optional<QByteArray> lookup(const QString& service, const QString& account) const override;
    void remove(const QString& service, const QString& account) override;

private:
    QString m_folder;
};

} // namespace glimra
