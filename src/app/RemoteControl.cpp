// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/RemoteControl.h"

#include "app/RuntimeFolder.h"
#include "app/SocketListener.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QLockFile>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <unistd.h>

namespace glimra {

namespace {

constexpr qint64 kMaxRequestBytes = 64 * 1024;
// Descriptors that connections leave to the rest of the instance once it has run out: a
// capture's pipes, the files of imports and previews. Without them a flood of idle
// connections would starve every command it lets through.
constexpr int kDescriptorHeadroom = 8;
// Never fewer connections than this, so a long command does not lock out every other.
constexpr int kMinimumCap = 4;
const char* const kHandled = "handled";

QByteArray encodeReply(int exitCode, const QString& out, const QString& err)
{
    QJsonObject reply{{QStringLiteral("exitCode"), exitCode},
                      {QStringLiteral("stdout"), out},
                      {QStringLiteral("stderr"), err}};
    return QJsonDocument(reply).toJson(QJsonDocument::Compact) + '\n';
}

bool isHandled(const QLocalSocket* socket)
{
    return socket->property(kHandled).toBool();
}

} // namespace

RemoteControl::RemoteControl(QObject* parent, CommandLimits limits)
    : QObject(parent), m_limits(limits), m_cap(limits.maxConnections)
{}

RemoteControl::~RemoteControl()
{
    // The sockets are our children and would otherwise reach readRequest while they close.
    for (QLocalSocket* socket : m_connections)
        socket->disconnect(this);
}

QString RemoteControl::socketPath()
{
    return commandSocketPath();
}

QString RemoteControl::lockPath()
{
    return runtimeFolder().path + QStringLiteral("/glimra.lock");
}

bool RemoteControl::claimInstance()
{
    m_lock = std::make_unique<QLockFile>(lockPath());
    m_lock->setStaleLockTime(0); // a lock whose process is gone is stale, however recent
    if (m_lock->tryLock(0))
        return true;
    m_lock.reset();
    return false;
}

bool RemoteControl::listen()
{
    delete m_listener;
    m_listener = new SocketListener(this);
    // We hold the instance lock, so a socket file left behind is from a crashed instance.
    if (!m_listener->listen(socketPath()))
        return false;
    connect(m_listener, &SocketListener::connected, this, &RemoteControl::accept);
    m_listener->setReleaseDescriptor([this] { return outOfDescriptors(); });
    return true;
}

void RemoteControl::addCommand(const QString& name, Handler handler)
{
    m_handlers.insert(name, std::move(handler));
}

// A closing QLocalSocket can still emit readyRead from inside its own destructor (its inner
// socket flushes as it goes), so nothing of ours may stay connected to one we let go.
void RemoteControl::dispose(QLocalSocket* socket)
{
    m_connections.remove(socket);
    if (m_connections.empty())
        m_cap = m_limits.maxConnections;
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}

bool RemoteControl::makeRoom()
{
    return static_cast<int>(m_connections.size()) < m_cap || dropOldestSilent();
}

// The process is out of descriptors: connections give back a few for everything else, and
// the cap keeps them from taking those again.
bool RemoteControl::outOfDescriptors()
{
    const int open = static_cast<int>(m_connections.size());
    m_cap = std::min(m_cap, std::max(kMinimumCap, open - kDescriptorHeadroom));
    bool released = false;
    while (static_cast<int>(m_connections.size()) >= m_cap && dropOldestSilent())
        released = true;
    return released || (open > 0 && dropOldestSilent());
}

// The oldest connection that has not sent its request gives way, so idle ones cannot lock out
// a real client; connections running a command are never cut.
bool RemoteControl::dropOldestSilent()
{
    for (QLocalSocket* socket : m_connections) {
        if (!isHandled(socket)) {
            dispose(socket);
            return true;
        }
    }
    return false;
}

void RemoteControl::accept(QLocalSocket* socket)
{
    if (!makeRoom()) {
        delete socket;
        return;
    }
    socket->setParent(this);
    m_connections.push_back(socket);
    connect(socket, &QLocalSocket::disconnected, this, [this, socket] { dispose(socket); });
    QTimer::singleShot(m_limits.requestTimeout, socket, [this, socket] {
        if (!isHandled(socket))
            dispose(socket);
    });
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readRequest(socket); });
}

void RemoteControl::readRequest(QLocalSocket* socket)
{
    if (isHandled(socket))
        return;
    if (!socket->canReadLine()) {
        if (socket->bytesAvailable() > kMaxRequestBytes)
            dispose(socket);
        return;
    }
    socket->setProperty(kHandled, true);
    const QByteArray line = socket->readLine(kMaxRequestBytes);
    QPointer<QLocalSocket> guard(socket);
    Reply reply = [guard](int exitCode, const QString& out, const QString& err) {
        if (!guard)
            return; // the client went away; nobody is waiting for the answer
        guard->write(encodeReply(exitCode, out, err));
        guard->disconnectFromServer();
    };
    const QJsonObject request = QJsonDocument::fromJson(line).object();
    const QString command = request.value(QStringLiteral("command")).toString();
    const auto handler = m_handlers.constFind(command);
    if (handler == m_handlers.constEnd()) {
        reply(2, {}, QStringLiteral("Unknown command: %1\n").arg(command));
        return;
    }
    QStringList args;
    for (const QJsonValue& v : request.value(QStringLiteral("args")).toArray())
        args.append(v.toString());
    (*handler)(args, request.value(QStringLiteral("input")).toString(), reply);
}

} // namespace glimra
