// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/SocketListener.h"

#include <QFile>
#include <QLocalSocket>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace glimra {

namespace {

// A flood of connections must not hold the event loop: the rest wait for the next turn.
constexpr int kAcceptsPerTurn = 64;
constexpr int kPauseWhenOutOfDescriptorsMs = 100;

int openSpare()
{
    return ::open("/dev/null", O_RDONLY | O_CLOEXEC);
}

} // namespace

SocketListener::SocketListener(QObject* parent) : QObject(parent) {}

SocketListener::~SocketListener()
{
    close();
}

bool SocketListener::listen(const QString& path)
{
    close();
    const QByteArray encoded = QFile::encodeName(path);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (encoded.size() >= static_cast<qsizetype>(sizeof address.sun_path))
        return false;
    std::memcpy(address.sun_path, encoded.constData(), static_cast<size_t>(encoded.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return false;
    ::unlink(encoded.constData());
    const mode_t savedMask = ::umask(S_IRWXG | S_IRWXO);
    const bool bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::umask(savedMask);
    if (!bound || ::listen(fd, SOMAXCONN) != 0) {
        ::close(fd);
        return false;
    }
    m_fd = fd;
    m_path = path;
    m_spare = openSpare();
    m_notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SocketListener::acceptPending);
    return true;
}

void SocketListener::close()
{
    if (m_fd < 0)
        return;
    delete m_notifier;
    m_notifier = nullptr;
    ::close(m_fd);
    m_fd = -1;
    if (m_spare >= 0)
        ::close(m_spare);
    m_spare = -1;
    QFile::remove(m_path);
}

void SocketListener::acceptPending()
{
    for (int turn = 0; turn < kAcceptsPerTurn; ++turn) {
        const int fd = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                return;
            if (errno == EMFILE || errno == ENFILE) {
                if (m_release && m_release())
                    continue;
                if (m_spare >= 0) {
                    refuseOne();
                    continue;
                }
            }
            pause();
            return;
        }
        if (peerUserId(fd) != ::getuid()) {
            ::close(fd);
            continue;
        }
        auto* socket = new QLocalSocket(this);
        if (!socket->setSocketDescriptor(fd)) {
            delete socket;
            ::close(fd);
            continue;
        }
        Q_EMIT connected(socket);
    }
}

void SocketListener::refuseOne()
{
    ::close(m_spare);
    const int fd = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0)
        ::close(fd);
    m_spare = openSpare();
}

void SocketListener::pause()
{
    // Nothing can be accepted now; keep the socket, and try again shortly rather than spin.
    m_notifier->setEnabled(false);
    QTimer::singleShot(kPauseWhenOutOfDescriptorsMs, this, [this] {
        if (m_notifier)
            m_notifier->setEnabled(true);
    });
}

} // namespace glimra
