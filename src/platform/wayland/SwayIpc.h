// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRect>

#include <optional>

namespace glimra::sway {

// Message types of sway's IPC (the i3 framing: "i3-ipc", payload length, type, payload, the
// two numbers in the machine's byte order).
inline constexpr quint32 kRunCommand = 0;
inline constexpr quint32 kGetTree = 4;

QByteArray message(quint32 type, const QByteArray& payload);

struct Reply {
    quint32 type = 0;
    QByteArray payload;
};
enum class Take { Incomplete, Done, Bad };
// Moves the first whole reply out of buffer; Bad when the buffer does not start like one.
Take takeReply(QByteArray& buffer, Reply& reply);

// Whether a node of the tree is a window: a client's container, not a split or a workspace.
bool isView(const QJsonObject& node);

struct FocusedWindow {
    qint64 conId = 0;
    QRect frame;  // with its border and title, in layout coordinates
    QRect usable; // its workspace: the output less bars, panels and gaps
    bool fullscreen = false;
};

// The window that has the keyboard focus; none when it is a workspace, a split container or
// nothing.
std::optional<FocusedWindow> focusedWindow(const QJsonDocument& tree);

// Puts the window's frame on target: sway moves only floating windows freely, and resizes a
// floating window about its centre, so the size comes before the position.
QByteArray placeCommand(const FocusedWindow& window, const QRect& target);

} // namespace glimra::sway
