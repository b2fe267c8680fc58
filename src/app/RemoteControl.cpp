#include "app/RemoteControl.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QPointer>
#include <QTimer>

#include <unistd.h>

namespace glimra {

namespace {

constexpr qint64 kMaxRequestBytes = 64 * 1024;
constexpr int kRequestTimeoutMs = 10000;

QString runtimeFolder()
{
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(QString::fromLocal8Bit(runtime)).isDir())
        return QString::fromLocal8Bit(runtime);
    // No runtime folder: a private one in /tmp, which must be ours and closed to others.
    const QString fallback =
        QDir::tempPath() + QStringLiteral("/glimra-") + QString::number(::getuid());
    QDir().mkpath(fallback);
    QFile::setPermissions(fallback,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return fallback;
}

QByteArray encodeReply(int exitCode, const QString& out, const QString& err)
{
    QJsonObject reply{{QStringLiteral("exitCode"), exitCode},
                      {QStringLiteral("stdout"), out},
                      {QStringLiteral("stderr"), err}};
    return QJsonDocument(reply).toJson(QJsonDocument::Compact) + '\n';
}

} // namespace

RemoteControl::RemoteControl(QObject* parent) : QObject(parent) {}

RemoteControl::~RemoteControl() = default;

QString RemoteControl::socketPath()
{
    return runtimeFolder() + QStringLiteral("/glimra.socket");
}

QString RemoteControl::lockPath()
{
    return runtimeFolder() + QStringLiteral("/glimra.lock");
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
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    const QString path = socketPath();
    if (!m_server->listen(path)) {
        // We hold the instance lock, so a socket file left behind is from a crashed instance.
        QLocalServer::removeServer(path);
        if (!m_server->listen(path))
            return false;
    }
    connect(m_server, &QLocalServer::newConnection, this, &RemoteControl::acceptConnections);
    return true;
}

void RemoteControl::addCommand(const QString& name, Handler handler)
{
    m_handlers.insert(name, std::move(handler));
}

void RemoteControl::acceptConnections()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        // A client that connects and says nothing must not hold a connection for ever.
        QTimer::singleShot(kRequestTimeoutMs, socket, [socket] {
            if (!socket->property("handled").toBool())
                socket->abort();
        });
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (socket->property("handled").toBool())
                return;
            if (!socket->canReadLine()) {
                if (socket->bytesAvailable() > kMaxRequestBytes)
                    socket->abort();
                return;
            }
            socket->setProperty("handled", true);
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
        });
    }
}

RemoteResult sendRemoteCommand(const QString& command, const QStringList& args,
                               const QString& input, int timeoutMs)
{
    RemoteResult result;
    QLocalSocket socket;
    socket.connectToServer(RemoteControl::socketPath());
    if (!socket.waitForConnected(2000))
        return result;
    result.connected = true;
    const QJsonObject request{{QStringLiteral("command"), command},
                              {QStringLiteral("args"), QJsonArray::fromStringList(args)},
                              {QStringLiteral("input"), input}};
    socket.write(QJsonDocument(request).toJson(QJsonDocument::Compact) + '\n');
    socket.flush();
    QByteArray received;
    QDeadlineTimer deadline(timeoutMs);
    while (!received.contains('\n') && !deadline.hasExpired()) {
        if (!socket.waitForReadyRead(
                static_cast<int>(qMin<qint64>(deadline.remainingTime(), 500)))) {
            if (socket.state() != QLocalSocket::ConnectedState)
                break;
            continue;
        }
        received += socket.readAll();
    }
    received += socket.readAll();
    const QJsonObject reply = QJsonDocument::fromJson(received).object();
    if (reply.isEmpty()) {
        result.err = QStringLiteral("Glimra did not answer\n");
        return result;
    }
    result.exitCode = reply.value(QStringLiteral("exitCode")).toInt(1);
    result.out = reply.value(QStringLiteral("stdout")).toString();
    result.err = reply.value(QStringLiteral("stderr")).toString();
    return result;
}

} // namespace glimra
