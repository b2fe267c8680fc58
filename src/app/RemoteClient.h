// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace glimra {

// The user id of the process at the other end of a connected local socket; nothing when the
// kernel does not say.
std::optional<unsigned> peerUserId(qintptr descriptor);

struct RemoteResult {
    bool connected = false;
    int exitCode = 1;
    QString out;
    QString err;
};

// Where the running instance takes commands.
QString commandSocketPath();

// Sends one command to the running instance and waits for its reply. Nothing is sent unless
// the socket's folder is private and the process behind the socket runs as this user; err
// then says why. Plain sockets and Qt Core only: a `glimra COMMAND` loads nothing more.
RemoteResult sendRemoteCommand(const QString& command, const QStringList& args,
                               const QString& input, int timeoutMs);

} // namespace glimra
