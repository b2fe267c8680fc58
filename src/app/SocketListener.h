// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/RemoteClient.h"

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class QLocalSocket;
class QSocketNotifier;

namespace glimra {

// A listening local socket that takes connections only from this user's processes and keeps
// taking them when the process runs out of file descriptors. QLocalServer closes itself for
// good at the first failed accept, which left the command socket deaf after a flood.
class SocketListener final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SocketListener)
public:
    explicit SocketListener(QObject* parent = nullptr);
    ~SocketListener() override;

    // Any socket file at path is replaced: the caller makes sure no one else serves there.
    // The socket file is readable and writable by the user alone.
    bool listen(const QString& path);
    void close();

    // Asked when the process is out of descriptors; true when it closed a connection of its
    // own, so that the waiting one can be taken instead. Without one, or when it cannot, the
    // waiting connection is closed unheard.
    void setReleaseDescriptor(std::function<bool()> release) { m_release = std::move(release); }

Q_SIGNALS:
    // A connection from this user, parented to the listener; whoever takes it may reparent it.
    void connected(QLocalSocket* socket);

private:
    void acceptPending();
    void refuseOne();
    void pause();

    int m_fd = -1;
    // Held open so that, out of descriptors, one can be freed to take and close a waiting
    // connection: the client then hears "closed" at once instead of hanging in the queue.
    int m_spare = -1;
    QSocketNotifier* m_notifier = nullptr;
    QString m_path;
    std::function<bool()> m_release;
};

} // namespace glimra
