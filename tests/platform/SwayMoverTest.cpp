// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/sway/SwayIpc.h"
#include "platform/sway/SwayWindowMover.h"

#include "TestSupport.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QLocalServer>
#include <QLocalSocket>

namespace {

QJsonObject rect(int x, int y, int w, int h)
{
    return {{u"x"_s, x}, {u"y"_s, y}, {u"width"_s, w}, {u"height"_s, h}};
}

// Views get an app_id; a split container is a "con" whose app_id the caller takes away.
QJsonObject node(const QString& type, qint64 id, QJsonObject r, bool focused = false,
                 QJsonArray nodes = {}, QJsonArray floating = {})
{
    const bool view = type == u"con" || type == u"floating_con";
    return {{u"type"_s, type},
            {u"id"_s, id},
            {u"rect"_s, r},
            {u"focused"_s, focused},
            {u"nodes"_s, nodes},
            {u"floating_nodes"_s, floating},
            {u"app_id"_s, view ? QJsonValue(u"foot"_s) : QJsonValue()}};
}

// Two outputs, the right one at 2x with a 30-pixel bar; the focus is on `focus`.
QJsonDocument tree(qint64 focus, int fullscreen = 0)
{
    auto view = [&](qint64 id, QJsonObject r, const QString& type = u"con"_s) {
        QJsonObject v = node(type, id, r, id == focus);
        v[u"fullscreen_mode"_s] = id == focus ? fullscreen : 0;
        return v;
    };
    QJsonObject split =
        node(u"con"_s, 9, rect(1280, 30, 960, 1050), focus == 9,
             {view(10, rect(1280, 30, 480, 1050)), view(11, rect(1760, 30, 480, 1050))});
    split[u"app_id"_s] = QJsonValue();
    const QJsonObject left = node(u"workspace"_s, 3, rect(0, 0, 1280, 720), focus == 3,
                                  {view(4, rect(0, 0, 1280, 720))});
    const QJsonObject right = node(u"workspace"_s, 8, rect(1280, 30, 960, 510), focus == 8, {split},
                                   {view(12, rect(1300, 100, 400, 300), u"floating_con"_s)});
    return QJsonDocument(node(u"root"_s, 1, rect(0, 0, 2240, 720), false,
                              {node(u"output"_s, 2, rect(0, 0, 1280, 720), false, {left}),
                               node(u"output"_s, 7, rect(1280, 0, 960, 540), false, {right})}));
}

TEST(SwayIpc, findsTheFocusedWindowAndItsWorkspaceAndPlacesItsFrame)
{
    const std::tuple<qint64, int, std::optional<sway::FocusedWindow>> cases[] = {
        {4, 0, sway::FocusedWindow{4, {0, 0, 1280, 720}, {0, 0, 1280, 720}, false}},
        {11, 0, sway::FocusedWindow{11, {1760, 30, 480, 1050}, {1280, 30, 960, 510}, false}},
        {12, 1, sway::FocusedWindow{12, {1300, 100, 400, 300}, {1280, 30, 960, 510}, true}},
        {3, 0, std::nullopt}, // an empty workspace: the desktop itself
        {9, 0, std::nullopt}, // a split container holds windows but is none
    };
    for (const auto& [focus, fullscreen, expected] : cases) {
        const auto found = sway::focusedWindow(tree(focus, fullscreen));
        ASSERT_EQ(found.has_value(), expected.has_value()) << focus;
        if (found) {
            EXPECT_TRUE(found->conId == expected->conId && found->frame == expected->frame &&
                        found->usable == expected->usable &&
                        found->fullscreen == expected->fullscreen)
                << focus;
        }
    }
    EXPECT_EQ(sway::placeCommand({12, {}, {}, true}, {1280, 30, 480, 510}),
              "[con_id=12] fullscreen disable, floating enable, resize set width 480 px height "
              "510 px, move absolute position 1280 px 30 px");

    // Replies arrive in pieces, several at once, or as something that is not sway.
    QByteArray buffer = sway::message(sway::kGetTree, "{}") + sway::message(sway::kRunCommand, "x");
    sway::Reply reply;
    QByteArray first = buffer.left(10);
    EXPECT_EQ(sway::takeReply(first, reply), sway::Take::Incomplete);
    EXPECT_EQ(sway::takeReply(buffer, reply), sway::Take::Done);
    EXPECT_EQ(reply.payload, "{}");
    EXPECT_EQ(sway::takeReply(buffer, reply), sway::Take::Done);
    EXPECT_TRUE(reply.type == sway::kRunCommand && buffer.isEmpty());
    QByteArray junk = "HTTP/1.1 400";
    EXPECT_EQ(sway::takeReply(junk, reply), sway::Take::Bad);
}

// Plays sway on a socket: answers the tree and records the commands.
TEST(SwayWindowMover, asksForTheTreeThenSendsOneCommandWithoutWaiting)
{
    QTemporaryDir dir;
    QLocalServer server;
    ASSERT_TRUE(server.listen(dir.filePath(u"sway.sock"_s)));
    QList<QByteArray> commands;
    qint64 focus = 11;
    QObject::connect(&server, &QLocalServer::newConnection, [&] {
        QLocalSocket* client = server.nextPendingConnection();
        if (!client)
            return;
        if (server.hasPendingConnections())
            QMetaObject::invokeMethod(&server, &QLocalServer::newConnection, Qt::QueuedConnection);
        auto buffer = std::make_shared<QByteArray>();
        QObject::connect(client, &QLocalSocket::readyRead, [&, client, buffer] {
            buffer->append(client->readAll());
            sway::Reply request;
            while (sway::takeReply(*buffer, request) == sway::Take::Done) {
                if (request.type == sway::kGetTree)
                    client->write(sway::message(sway::kGetTree, tree(focus).toJson()));
                else
                    commands.append(request.payload);
                if (request.type == sway::kRunCommand)
                    client->write(sway::message(sway::kRunCommand, "[{\"success\":true}]"));
            }
        });
    });
    SwayWindowMover mover(server.fullServerName());
    const auto leftHalf = [](const QRect& usable) {
        return QRect(usable.topLeft(), QSize(usable.width() / 2, usable.height()));
    };
    ASSERT_TRUE(mover.placeFocused(leftHalf));
    EXPECT_TRUE(commands.isEmpty()); // nothing was waited for
    ASSERT_TRUE(waitUntil([&] { return commands.size() == 1; }));
    EXPECT_TRUE(
        commands[0].endsWith("width 480 px height 510 px, move absolute position 1280 px 30 px"));

    // With the desktop focused nothing is sent; a second tile asked at once replaces the first.
    focus = 3;
    mover.placeFocused(leftHalf);
    focus = 4;
    mover.placeFocused(leftHalf);
    ASSERT_TRUE(waitUntil([&] { return commands.size() == 2; }));
    EXPECT_TRUE(commands[1].startsWith("[con_id=4]"));
    EXPECT_TRUE(holdsFor([&] { return commands.size() == 2; }, std::chrono::milliseconds(200)));
}

} // namespace
