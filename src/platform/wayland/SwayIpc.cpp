// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/wayland/SwayIpc.h"

#include <QJsonArray>
#include <QJsonObject>

#include <cstring>

namespace glimra::sway {

namespace {

constexpr char kMagic[] = {'i', '3', '-', 'i', 'p', 'c'};
constexpr qsizetype kHeader = sizeof(kMagic) + 2 * sizeof(quint32);
// A whole tree of a busy desktop is a few hundred kilobytes; more is not sway talking.
constexpr quint32 kMaxPayload = 64u << 20;

QRect rectOf(const QJsonValue& value)
{
    const QJsonObject r = value.toObject();
    return QRect(r.value(QLatin1String("x")).toInt(), r.value(QLatin1String("y")).toInt(),
                 r.value(QLatin1String("width")).toInt(), r.value(QLatin1String("height")).toInt());
}

std::optional<FocusedWindow> find(const QJsonObject& node, const QRect& workspace)
{
    const QRect usable = node.value(QLatin1String("type")).toString() == QLatin1String("workspace")
                             ? rectOf(node.value(QLatin1String("rect")))
                             : workspace;
    if (node.value(QLatin1String("focused")).toBool()) {
        if (!isView(node) || usable.isEmpty())
            return std::nullopt;
        return FocusedWindow{node.value(QLatin1String("id")).toInteger(),
                             rectOf(node.value(QLatin1String("rect"))), usable,
                             node.value(QLatin1String("fullscreen_mode")).toInt() != 0};
    }
    for (const char* children : {"nodes", "floating_nodes"}) {
        for (const QJsonValue& child : node.value(QLatin1String(children)).toArray()) {
            if (auto found = find(child.toObject(), usable))
                return found;
        }
    }
    return std::nullopt;
}

} // namespace

bool isView(const QJsonObject& node)
{
    const QString type = node.value(QLatin1String("type")).toString();
    if (type != QLatin1String("con") && type != QLatin1String("floating_con"))
        return false;
    // Wayland clients have an app_id, X11 ones a window id; a split container has neither.
    return node.value(QLatin1String("app_id")).isString() ||
           node.value(QLatin1String("window")).isDouble();
}

QByteArray message(quint32 type, const QByteArray& payload)
{
    QByteArray out(kMagic, sizeof(kMagic));
    const auto length = static_cast<quint32>(payload.size());
    out.append(reinterpret_cast<const char*>(&length), sizeof(length));
    out.append(reinterpret_cast<const char*>(&type), sizeof(type));
    return out + payload;
}

Take takeReply(QByteArray& buffer, Reply& reply)
{
    const qsizetype known = std::min<qsizetype>(buffer.size(), sizeof(kMagic));
    if (std::memcmp(buffer.constData(), kMagic, size_t(known)) != 0)
        return Take::Bad;
    if (buffer.size() < kHeader)
        return Take::Incomplete;
    quint32 length = 0;
    std::memcpy(&length, buffer.constData() + sizeof(kMagic), sizeof(length));
    std::memcpy(&reply.type, buffer.constData() + sizeof(kMagic) + sizeof(length),
                sizeof(reply.type));
    if (length > kMaxPayload)
        return Take::Bad;
    if (buffer.size() < kHeader + qsizetype(length))
        return Take::Incomplete;
    reply.payload = buffer.mid(kHeader, length);
    buffer.remove(0, kHeader + length);
    return Take::Done;
}

std::optional<FocusedWindow> focusedWindow(const QJsonDocument& tree)
{
    return find(tree.object(), {});
}

QByteArray placeCommand(const FocusedWindow& window, const QRect& target)
{
    QByteArray command = "[con_id=" + QByteArray::number(window.conId) + "] ";
    if (window.fullscreen)
        command += "fullscreen disable, ";
    command += "floating enable, resize set width " + QByteArray::number(target.width()) +
               " px height " + QByteArray::number(target.height()) +
               " px, move absolute position " + QByteArray::number(target.x()) + " px " +
               QByteArray::number(target.y()) + " px";
    return command;
}

} // namespace glimra::sway
