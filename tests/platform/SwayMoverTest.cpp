// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/wayland/SwayIpc.h"
#include "platform/wayland/SwayWindowMover.h"

#include "TestSupport.h"

#include <QLocalServer>
#include <QLocalSocket>

namespace {

// Two outputs, the right one with a 30-pixel bar: views 4 and 11 tiled (11 in split 9),
// 12 floating and full-screen. FOCUS names the node with the focus.
QJsonDocument tree(qint64 focus)
{
    QByteArray json = R"({"type":"root","id":1,"nodes":[
 {"type":"output","id":2,"nodes":[{"type":"workspace","id":3,"rect":{"x":0,"y":0,"width":1280,
  "height":720},"nodes":[{"type":"con","id":4,"app_id":"foot","rect":{"x":0,"y":0,"width":1280,
  "height":720}}]}]},
 {"type":"output","id":7,"nodes":[{"type":"workspace","id":8,"rect":{"x":1280,"y":30,
  "width":960,"height":510},"nodes":[{"type":"con","id":9,"app_id":null,"nodes":[
   {"type":"con","id":11,"app_id":null,"window":77,"rect":{"x":1760,"y":30,"width":480,
    "height":510}}]}],
  "floating_nodes":[{"type":"floating_con","id":12,"app_id":"foot","fullscreen_mode":1,
   "rect":{"x":1300,"y":100,"width":400,"height":300}}]}]}]})";
    const QByteArray id = QByteArray("\"id\":" + QByteArray::number(focus) + ',');
    json.replace(id, QByteArray(QByteArray("\"focused\":true,") + id));
    return QJsonDocument::fromJson(json);
}

TEST(SwayIpc, findsTheFocusedWindowAndItsWorkspace)
{
    using W = sway::FocusedWindow;
    const std::pair<qint64, std::optional<W>> cases[] = {
        {4, W{4, {0, 0, 1280, 720}, {0, 0, 1280, 720}, false}},
        {11, W{11, {1760, 30, 480, 510}, {1280, 30, 960, 510}, false}}, // an X11 window
        {12, W{12, {1300, 100, 400, 300}, {1280, 30, 960, 510}, true}},
        {3, std::nullopt}, // an empty workspace: the desktop itself
        {9, std::nullopt}, // a split container holds windows but is none
    };
    for (const auto& [focus, expected] : cases) {
        const auto found = sway::focusedWindow(tree(focus));
        ASSERT_EQ(found.has_value(), expected.has_value()) << focus;
        if (found) {
            EXPECT_TRUE(found->conId == expected->conId && found->frame == expected->frame &&
                        found->usable == expected->usable &&
                        found->fullscreen == expected->fullscreen)
                << focus;
        }
    }
    // A reply that arrives in pieces waits for its last piece.
    QByteArray buffer = sway::message(sway::kGetTree, "{}");
    QByteArray first = buffer.left(10);
    sway::Reply reply;
    EXPECT_EQ(sway::takeReply(first, reply), sway::Take::Incomplete);
}

// Plays sway on a socket: answers the tree and records the commands.
TEST(SwayWindowMover, aTileAskedWhileAnotherTalksToSwayReplacesIt)
{
    QTemporaryDir dir;
    QLocalServer server;
    ASSERT_TRUE(server.listen(dir.filePath(u"sway.sock"_s)));
    QList<QByteArray> commands;
    const qint64 focus = 12;
    QObject::connect(&server, &QLocalServer::newConnection, [&] {
        while (QLocalSocket* client = server.nextPendingConnection()) {
            auto buffer = std::make_shared<QByteArray>();
            QObject::connect(client, &QLocalSocket::readyRead, [&, client, buffer] {
                buffer->append(client->readAll());
                sway::Reply request;
                while (sway::takeReply(*buffer, request) == sway::Take::Done) {
                    if (request.type == sway::kRunCommand)
                        commands.append(request.payload);
                    client->write(sway::message(request.type, tree(focus).toJson()));
                }
            });
        }
    });
    SwayWindowMover mover(server.fullServerName());
    // Two tiles at once: only the second may move the window.
    mover.placeFocused([](const QRect&) { return QRect(1, 2, 3, 4); });
    mover.placeFocused([](const QRect& usable) { return usable; });
    EXPECT_TRUE(commands.isEmpty()); // nothing was waited for
    ASSERT_TRUE(waitUntil([&] { return commands.size() == 1; }));
    EXPECT_TRUE(
        commands[0].endsWith("width 960 px height 510 px, move absolute position 1280 px 30 px"));
    EXPECT_TRUE(holdsFor([&] { return commands.size() == 1; }, std::chrono::milliseconds(200)));
}

} // namespace
