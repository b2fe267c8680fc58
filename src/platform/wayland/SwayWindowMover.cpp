// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/wayland/SwayWindowMover.h"

#include "platform/wayland/SwayIpc.h"

#include <QJsonDocument>
#include <QLocalSocket>
#include <QTimer>

namespace glimra {

namespace {

// sway answers in a millisecond or two; one that has not answered by now is stuck, and a
// window moving seconds after the key press would surprise more than one that does not.
constexpr int kAnswerTimeoutMs = 2000;

} // namespace

SwayWindowMover::SwayWindowMover(QString socketPath) : m_socketPath(std::move(socketPath)) {}

SwayWindowMover::~SwayWindowMover() = default;

bool SwayWindowMover::placeFocused(const Placement& place)
{
    if (m_socket) {
        // Its answer may already wait to be read: it must not move a window any more.
        QLocalSocket* old = m_socket.release();
        old->disconnect();
        old->abort();
        old->deleteLater();
    }
    m_socket = std::make_unique<QLocalSocket>();
    QLocalSocket* socket = m_socket.get();
    auto buffer = std::make_shared<QByteArray>();
    const auto finish = [this, socket] {
        if (m_socket.get() == socket)
            m_socket.release()->deleteLater();
    };
    QTimer::singleShot(kAnswerTimeoutMs, socket, finish);
    QObject::connect(socket, &QLocalSocket::errorOccurred, socket, finish);
    QObject::connect(socket, &QLocalSocket::connected, socket,
                     [socket] { socket->write(sway::message(sway::kGetTree, {})); });
    QObject::connect(socket, &QLocalSocket::readyRead, socket, [socket, buffer, place, finish] {
        buffer->append(socket->readAll());
        sway::Reply reply;
        switch (sway::takeReply(*buffer, reply)) {
        case sway::Take::Incomplete:
            return;
        case sway::Take::Bad:
            return finish();
        case sway::Take::Done:
            break;
        }
        if (reply.type != sway::kGetTree)
            return finish(); // the command's answer: done
        const auto window = sway::focusedWindow(QJsonDocument::fromJson(reply.payload));
        if (!window)
            return finish();
        socket->write(
            sway::message(sway::kRunCommand, sway::placeCommand(*window, place(window->usable))));
    });
    socket->connectToServer(m_socketPath);
    return true;
}

} // namespace glimra
