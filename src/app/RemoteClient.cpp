// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/RemoteClient.h"

#include "app/RuntimeFolder.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

namespace glimra {

namespace {

constexpr int kConnectTimeoutMs = 2000;

class Connection {
public:
    Connection() : m_fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)) {}
    ~Connection()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    int fd() const { return m_fd; }

private:
    int m_fd;
};

// False on a timeout or an error; the deadline holds across interruptions.
bool waitFor(int fd, short events, const QDeadlineTimer& deadline)
{
    for (;;) {
        pollfd entry{fd, events, 0};
        const int ready = ::poll(&entry, 1, static_cast<int>(deadline.remainingTime()));
        if (ready > 0)
            return true;
        if (ready == 0 || errno != EINTR)
            return false;
    }
}

bool connectTo(int fd, const QString& path)
{
    const QByteArray encoded = QFile::encodeName(path);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (fd < 0 || encoded.size() >= static_cast<qsizetype>(sizeof address.sun_path))
        return false;
    std::memcpy(address.sun_path, encoded.constData(), static_cast<size_t>(encoded.size()));
    // Blocking, with a time limit: when the instance's queue of waiting connections is full,
    // ours waits for room instead of failing at once.
    const timeval limit{kConnectTimeoutMs / 1000, (kConnectTimeoutMs % 1000) * 1000};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    int connected;
    do
        connected = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    while (connected != 0 && errno == EINTR);
    const timeval none{};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &none, sizeof none);
    return connected == 0 && ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK) == 0;
}

bool sendAll(int fd, QByteArray bytes, const QDeadlineTimer& deadline)
{
    while (!bytes.isEmpty()) {
        const ssize_t sent =
            ::send(fd, bytes.constData(), static_cast<size_t>(bytes.size()), MSG_NOSIGNAL);
        if (sent > 0) {
            bytes.remove(0, sent);
            continue;
        }
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent < 0 && errno == EAGAIN && waitFor(fd, POLLOUT, deadline))
            continue;
        return false;
    }
    return true;
}

// Up to the first line end, or whatever came before the instance closed or time ran out.
QByteArray receiveLine(int fd, const QDeadlineTimer& deadline)
{
    QByteArray received;
    char chunk[16 * 1024];
    while (!received.contains('\n')) {
        const ssize_t got = ::recv(fd, chunk, sizeof chunk, 0);
        if (got > 0) {
            received.append(chunk, got);
            continue;
        }
        if (got == 0)
            break;
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN || !waitFor(fd, POLLIN, deadline))
            break;
    }
    return received;
}

} // namespace

std::optional<unsigned> peerUserId(qintptr descriptor)
{
    ucred credentials{};
    socklen_t length = sizeof credentials;
    if (::getsockopt(static_cast<int>(descriptor), SOL_SOCKET, SO_PEERCRED, &credentials,
                     &length) != 0 ||
        length != sizeof credentials)
        return std::nullopt;
    return credentials.uid;
}

QString commandSocketPath()
{
    return runtimeFolder().path + QStringLiteral("/glimra.socket");
}

RemoteResult sendRemoteCommand(const QString& command, const QStringList& args,
                               const QString& input, int timeoutMs)
{
    RemoteResult result;
    const RuntimeFolder folder = runtimeFolder();
    if (!folder.isUsable()) {
        result.err = QStringLiteral("Glimra: ") + folder.problem + QLatin1Char('\n');
        return result;
    }
    const QString path = folder.path + QStringLiteral("/glimra.socket");
    const Connection connection;
    if (!connectTo(connection.fd(), path))
        return result;
    if (peerUserId(connection.fd()) != ::getuid()) {
        // Someone else answers at our address: they must not hear the request (a password).
        result.err =
            QStringLiteral("Glimra: the command socket %1 is served by another user\n").arg(path);
        return result;
    }
    result.connected = true;
    const QJsonObject request{{QStringLiteral("command"), command},
                              {QStringLiteral("args"), QJsonArray::fromStringList(args)},
                              {QStringLiteral("input"), input}};
    const QDeadlineTimer deadline(timeoutMs);
    QByteArray received;
    if (sendAll(connection.fd(), QJsonDocument(request).toJson(QJsonDocument::Compact) + '\n',
                deadline))
        received = receiveLine(connection.fd(), deadline);
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
