// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/RemoteClient.h"

#include <QHash>
#include <QObject>
#include <QStringList>

#include <chrono>
#include <functional>
#include <list>
#include <memory>

class QLocalSocket;
class QLockFile;

namespace glimra {

class SocketListener;

// What one misbehaving client may hold. Connections are cheap for a client and each costs
// the instance a descriptor, so their number is capped and a silent one is dropped.
struct CommandLimits {
    int maxConnections = 32;
    // From connecting to a complete request line; a command may then run as long as it needs.
    std::chrono::milliseconds requestTimeout{5000};
};

// The running instance's end of `glimra COMMAND`: a local socket in the user's runtime folder
// that only the user can open. One request per connection: a JSON line with "command", "args"
// and "input"; one JSON reply with "exitCode", "stdout" and "stderr".
class RemoteControl final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RemoteControl)
public:
    using Reply = std::function<void(int exitCode, const QString& out, const QString& err)>;
    using Handler =
        std::function<void(const QStringList& args, const QString& input, const Reply& reply)>;

    explicit RemoteControl(QObject* parent = nullptr, CommandLimits limits = {});
    ~RemoteControl() override;

    // False when another instance holds the session; this one must not run. Check
    // runtimeFolder() first: in a folder that is not private, nothing may be claimed.
    bool claimInstance();
    bool listen();
    void addCommand(const QString& name, Handler handler);

    static QString socketPath();
    static QString lockPath();

private:
    void accept(QLocalSocket* socket);
    void readRequest(QLocalSocket* socket);
    void dispose(QLocalSocket* socket);
    bool makeRoom();
    bool dropOldestSilent();
    bool outOfDescriptors();

    const CommandLimits m_limits;
    std::unique_ptr<QLockFile> m_lock;
    SocketListener* m_listener = nullptr;
    QHash<QString, Handler> m_handlers;
    // Open connections, oldest first.
    std::list<QLocalSocket*> m_connections;
    // The cap in force: lowered when the process ran out of descriptors, back to the limit
    // once every connection has closed.
    int m_cap;
};

} // namespace glimra
