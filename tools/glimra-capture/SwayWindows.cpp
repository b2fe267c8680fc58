// SPDX-License-Identifier: GPL-3.0-or-later
#include "SwayWindows.h"

#include "platform/wayland/SwayIpc.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>

#include <cmath>

namespace glimra::capture {

namespace {

constexpr int kAnswerMs = 1000;

QRect scaled(const QJsonObject& rect, qreal scale)
{
    const auto at = [&](const char* key) {
        return int(std::lround(rect.value(QLatin1String(key)).toDouble() * scale));
    };
    return QRect(at("x"), at("y"), at("width"), at("height"));
}

void collect(const QJsonObject& node, qreal scale, std::vector<WindowFrame>& tiled,
             std::vector<WindowFrame>& floating, bool isFloating)
{
    // The scratchpad's windows are not visible.
    if (sway::isView(node) && node.value(QLatin1String("visible")).toBool()) {
        const QRect frame = scaled(node.value(QLatin1String("rect")).toObject(), scale);
        if (!frame.isEmpty())
            (isFloating ? floating : tiled)
                .push_back({std::uint32_t(node.value(QLatin1String("id")).toInteger()), frame});
    }
    for (const QJsonValue child : node.value(QLatin1String("nodes")).toArray())
        collect(child.toObject(), scale, tiled, floating, isFloating);
    for (const QJsonValue child : node.value(QLatin1String("floating_nodes")).toArray())
        collect(child.toObject(), scale, tiled, floating, true);
}

} // namespace

std::vector<WindowFrame> swayWindowFrames(const QByteArray& treeJson, qreal scale)
{
    std::vector<WindowFrame> tiled;
    std::vector<WindowFrame> floating;
    collect(QJsonDocument::fromJson(treeJson).object(), scale, tiled, floating, false);
    tiled.insert(tiled.end(), floating.begin(), floating.end());
    return tiled;
}

QByteArray swayTree()
{
    const QString path = qEnvironmentVariable("SWAYSOCK");
    if (path.isEmpty())
        return {};
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(kAnswerMs))
        return {};
    socket.write(sway::message(sway::kGetTree, {}));
    QByteArray buffer;
    sway::Reply reply;
    for (;;) {
        switch (sway::takeReply(buffer, reply)) {
        case sway::Take::Done:
            return reply.payload;
        case sway::Take::Bad:
            return {};
        case sway::Take::Incomplete:
            break;
        }
        if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(kAnswerMs))
            return {};
        buffer.append(socket.readAll());
    }
}

} // namespace glimra::capture
