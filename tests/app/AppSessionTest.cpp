// SPDX-License-Identifier: GPL-3.0-or-later
// Drives the real glimra executable as a user would: from the tray, with xdotool, and through
// its command line, inside the test X server with openbox and trayer.
#include "GlimraSession.h"

#include <csignal>

TEST_F(GlimraSession, aDesktopScreenshotMovesInOnTopOfTheListAndOntoTheClipboard)
{
    ASSERT_TRUE(writeImage(library() + u"/old.png"_s, makeTestImage(64, 40)));
    start();
    const QString source = path(u"Pictures/Screenshots/Screenshot 2026-12-06 at 10.00.00.png"_s);
    ASSERT_TRUE(makeTestImage(800, 450).save(source, "PNG", 100)); // unlike a PNG made again
    QJsonArray items;
    ASSERT_TRUE(waitUntil([&] { return (items = listJson()).size() == 2; }));
    EXPECT_FALSE(QFileInfo::exists(source));
    const QJsonObject moved = items[0].toObject();
    QJsonObject old = items[1].toObject();
    EXPECT_TRUE(QFileInfo(moved[u"path"_s].toString()).fileName().startsWith(u"Glimra_"_s));
    EXPECT_EQ(moved[u"captureType"_s].toString(), u"fullscreen"_s);
    const QString date = old.take(u"date"_s).toString();
    EXPECT_TRUE(
        QRegularExpression(u"^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d[+-]\\d\\d:\\d\\d$"_s)
            .match(date)
            .hasMatch())
        << date.toStdString();
    EXPECT_EQ(old, (QJsonObject{{u"path"_s, QString(library() + u"/old.png"_s)},
                                {u"syncStatus"_s, u"local"_s},
                                {u"serverId"_s, QJsonValue()},
                                {u"captureType"_s, QJsonValue()}}));
    // The plain listing: newest first, one "date, state, path" line each.
    EXPECT_TRUE(run({u"list"_s})
                    .out.endsWith(moved[u"path"_s].toString() + u'\n' + date + u"\tlocal\t"_s +
                                  library() + u"/old.png\n"_s));

    // Other programs are offered the file itself as PNG, and a TIFF, but no text.
    const auto clipboard = [](const QString& target) {
        return runTool(u"xclip"_s, {u"-selection"_s, u"clipboard"_s, u"-t"_s, target, u"-o"_s});
    };
    const QList<QByteArray> targets = clipboard(u"TARGETS"_s).split('\n');
    EXPECT_TRUE(targets.contains("image/png") && targets.contains("image/tiff"));
    EXPECT_FALSE(targets.contains("text/plain"));
    EXPECT_EQ(clipboard(u"image/png"_s), readFile(moved[u"path"_s].toString()));
}

TEST_F(GlimraSession, theTrayIconOpensThePopoverAndAClickElsewhereClosesItUnlessPinned)
{
    start();
    // trayer embeds our icon; its widest window is the panel holding it.
    const auto trayIcon = [] {
        QRect best;
        for (const QRect& rect : windows({u"--class"_s, u"trayer"_s}))
            best = rect.width() > best.width() ? rect : best;
        return best;
    };
    QRect icon;
    ASSERT_TRUE(waitUntil([&] { return (icon = trayIcon()).width() >= 16; }));
    ASSERT_FALSE(visiblePopover());

    click(icon.center());
    std::optional<QRect> popover;
    ASSERT_TRUE(waitUntil([&] { return (popover = visiblePopover()).has_value(); }));
    EXPECT_GE(popover->top(), icon.bottom()); // under the icon
    EXPECT_LE(popover->top() - icon.bottom(), 30);
    EXPECT_TRUE(popover->left() <= icon.center().x() && icon.center().x() <= popover->right() + 1);

    click({200, 600});
    ASSERT_TRUE(waitUntil([&] { return !visiblePopover(); }));

    // The icon again, or Escape.
    for (const bool escape : {false, true}) {
        click(icon.center());
        ASSERT_TRUE(waitUntil([&] { return visiblePopover().has_value(); }));
        if (escape)
            xdotool(u"key Escape"_s);
        else
            click(icon.center());
        ASSERT_TRUE(waitUntil([&] { return !visiblePopover(); }));
    }

    // Another program taking the keyboard closes it too.
    click(icon.center());
    ASSERT_TRUE(waitUntil([&] { return visiblePopover().has_value(); }));
    XClient other;
    const uint32_t otherWindow = other.open({100, 100, 300, 200});
    ASSERT_TRUE(waitUntil([&] { return !visiblePopover(); }));

    // Pinned, it stays across both, and Escape.
    click(icon.center());
    ASSERT_TRUE(waitUntil([&] { return (popover = visiblePopover()).has_value(); }));
    click(popover->topLeft() + QPoint(popover->width() - 83, 23)); // the pin, first of three
    xdotool(u"key Escape"_s);
    click({200, 600});
    xdotool(u"windowactivate --sync "_s + QString::number(otherWindow));
    EXPECT_TRUE(holdsFor([&] { return visiblePopover().has_value(); }, 400ms));

    // A second glimra shows and hides the running one instead of starting another.
    const CommandResult second = run({});
    EXPECT_EQ(second.exitCode, 0);
    EXPECT_TRUE(waitUntil([&] { return !visiblePopover(); }));
    EXPECT_EQ(m_app.state(), QProcess::Running);
}

TEST_F(GlimraSession, theCommandLineCapturesStartingAnInstanceAndEndsItCleanly)
{
    // No instance yet: the command starts one first.
    const CommandResult full = run({u"capture"_s, u"full"_s});
    ASSERT_EQ(full.exitCode, 0) << full.err.toStdString();
    const QJsonObject item = listJson()[0].toObject();
    EXPECT_EQ(item[u"path"_s].toString(), full.out.trimmed());
    EXPECT_EQ(item[u"captureType"_s].toString(), u"fullscreen"_s);

    // The tool's exit status decides: 1 is the user's cancel, anything else a failure whose
    // reason the tool gave on its last line; the command exits as the tool did.
    const QString failing = path(u"failing-tool"_s);
    ASSERT_TRUE(writeScript(failing, "echo 'failing-tool: the disk is full' >&2\nexit 2\n"));
    const std::tuple<QString, QString, int, QString> failures[] = {
        {u"/bin/false"_s, u"area"_s, 1, u"Capture cancelled\n"_s},
        {failing, u"window"_s, 2, u"Capture failed: the disk is full\n"_s}};
    for (const auto& [tool, mode, exitCode, err] : failures) {
        ASSERT_TRUE(writeSettings("captureTool=" + tool.toUtf8()));
        const CommandResult result = run({u"capture"_s, mode});
        EXPECT_EQ(std::pair(result.exitCode, result.err), std::pair(exitCode, err));
    }
    EXPECT_EQ(run({u"capture"_s, u"sideways"_s}).exitCode, 2);

    // Once it has quit, the commands that need an instance say so and fail.
    EXPECT_EQ(run({u"quit"_s}).exitCode, 0);
    ASSERT_TRUE(waitUntil([&] { return run({u"list"_s}).exitCode == 1; }));
    for (const QString& command : {u"list"_s, u"quit"_s}) {
        const CommandResult result = run({command});
        EXPECT_EQ(std::pair(result.exitCode, result.err),
                  std::pair(1, u"Glimra is not running\n"_s));
    }
    const CommandResult unknown = run({u"frobnicate"_s});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_TRUE(unknown.err.startsWith(u"Unknown command: frobnicate\nUsage: glimra"_s));
    EXPECT_EQ(run({u"--version"_s}).out, u"glimra " GLIMRA_VERSION "\n"_s);

    start();
    ::kill(static_cast<pid_t>(m_app.processId()), SIGTERM);
    ASSERT_TRUE(m_app.waitForFinished(10000));
    EXPECT_EQ(m_app.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(m_app.exitCode(), 0);
    EXPECT_FALSE(QFileInfo::exists(path(u"run/glimra.socket"_s)));
}
