// Drives the real glimra executable as a user would: from the tray, with xdotool, and through
// its command line, inside the test X server with openbox and trayer.
#include "GlimraSession.h"

#include <csignal>

using namespace glimra::test;
using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

TEST_F(GlimraSession, listPrintsTheLibraryNewestFirstAsTextAndJson)
{
    ASSERT_TRUE(writeImage(library() + u"/old.png"_s, makeTestImage(64, 40)));
    QThread::msleep(30); // file times have a coarse clock: make the two dates differ
    ASSERT_TRUE(writeImage(library() + u"/new.jpg"_s, makeTestImage(64, 40)));
    start();

    const QStringList lines = run({u"list"_s}).out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].endsWith(QLatin1String("/new.jpg")));

    const QJsonArray items = listJson();
    ASSERT_EQ(items.size(), 2);
    const QJsonObject first = items[0].toObject();
    EXPECT_EQ(first.value(u"path"_s).toString(), library() + u"/new.jpg"_s);
    EXPECT_EQ(first.value(u"syncStatus"_s).toString(), u"local"_s);
    EXPECT_TRUE(first.value(u"serverId"_s).isNull());
    EXPECT_TRUE(first.value(u"captureType"_s).isNull());
    EXPECT_TRUE(
        QRegularExpression(u"^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d[+-]\\d\\d:\\d\\d$"_s)
            .match(first.value(u"date"_s).toString())
            .hasMatch());
}

TEST_F(GlimraSession, theTrayIconOpensThePopoverAndAClickElsewhereClosesItUnlessPinned)
{
    start();
    QRect icon;
    ASSERT_TRUE(waitUntil([&] { return (icon = trayIconRect()).width() >= 16; }));
    ASSERT_FALSE(visiblePopover());

    click(icon.center());
    std::optional<QRect> popover;
    ASSERT_TRUE(waitUntil([&] { return (popover = visiblePopover()).has_value(); }));
    EXPECT_GE(popover->top(), icon.bottom()); // under the icon
    EXPECT_LE(popover->top() - icon.bottom(), 30);
    EXPECT_TRUE(popover->left() <= icon.center().x() && icon.center().x() <= popover->right() + 1);

    click({200, 600});
    ASSERT_TRUE(waitUntil([&] { return !visiblePopover(); }));

    click(icon.center());
    ASSERT_TRUE(waitUntil([&] { return visiblePopover().has_value(); }));
    click(icon.center());
    ASSERT_TRUE(waitUntil([&] { return !visiblePopover(); }));

    // Pinned, it stays across a click elsewhere.
    click(icon.center());
    ASSERT_TRUE(waitUntil([&] { return (popover = visiblePopover()).has_value(); }));
    click(pinButton(*popover));
    click({200, 600});
    EXPECT_TRUE(holdsFor([&] { return visiblePopover().has_value(); }, 400ms));

    // A second glimra shows and hides the running one instead of starting another.
    const CommandResult second = run({});
    EXPECT_EQ(second.exitCode, 0);
    EXPECT_TRUE(waitUntil([&] { return !visiblePopover(); }));
    EXPECT_EQ(m_app.state(), QProcess::Running);
}

TEST_F(GlimraSession, aDesktopScreenshotMovesIntoTheLibraryAndOntoTheClipboard)
{
    start();
    const QString source = path(u"Pictures/Screenshots/Screenshot 2026-12-06 at 10.00.00.png"_s);
    ASSERT_TRUE(makeTestImage(800, 450).save(source));
    QJsonArray items;
    ASSERT_TRUE(waitUntil([&] { return (items = listJson()).size() == 1; }));
    EXPECT_FALSE(QFileInfo::exists(source));
    const QString moved = items[0].toObject().value(u"path"_s).toString();
    EXPECT_TRUE(QFileInfo(moved).fileName().startsWith(QLatin1String("Glimra_")));
    EXPECT_EQ(QImage(moved).size(), QSize(800, 450));
    EXPECT_EQ(items[0].toObject().value(u"captureType"_s).toString(), u"fullscreen"_s);

    const QStringList targets = clipboardTargets();
    EXPECT_TRUE(targets.contains(u"image/png"_s));
    EXPECT_TRUE(targets.contains(u"image/tiff"_s));
}

TEST_F(GlimraSession, captureFromTheCommandLineAddsTheItemOrReportsWhy)
{
    // No instance yet: the command starts one first.
    const CommandResult full = run({u"capture"_s, u"full"_s});
    ASSERT_EQ(full.exitCode, 0) << full.err.toStdString();
    const QString captured = full.out.trimmed();
    EXPECT_TRUE(QFileInfo(captured).fileName().startsWith(QLatin1String("Glimra_")));
    EXPECT_EQ(QImage(captured).size(), QSize(1920, 1080));
    const QJsonArray items = listJson();
    ASSERT_GE(items.size(), 1);
    EXPECT_EQ(items[0].toObject().value(u"captureType"_s).toString(), u"fullscreen"_s);
    EXPECT_EQ(items[0].toObject().value(u"path"_s).toString(), captured);
    EXPECT_TRUE(clipboardTargets().contains(u"image/png"_s));

    // The tool's exit status decides: 1 is the user's cancel, anything else a failure whose
    // reason the tool gave on its last line; the command exits as the tool did.
    const QString failing = path(u"failing-tool"_s);
    ASSERT_TRUE(writeScript(failing, "echo 'failing-tool: the disk is full' >&2\nexit 2\n"));
    const struct {
        QString tool;
        QString mode;
        int exitCode;
        QString err;
    } failures[] = {{u"/bin/false"_s, u"area"_s, 1, u"Capture cancelled\n"_s},
                    {failing, u"window"_s, 2, u"Capture failed: the disk is full\n"_s}};
    for (const auto& f : failures) {
        ASSERT_TRUE(writeSettings("captureTool=" + f.tool.toUtf8()));
        const CommandResult result = run({u"capture"_s, f.mode});
        EXPECT_EQ(result.exitCode, f.exitCode) << f.mode.toStdString();
        EXPECT_EQ(result.err, f.err);
    }
    EXPECT_EQ(run({u"capture"_s, u"sideways"_s}).exitCode, 2);
    EXPECT_EQ(run({u"quit"_s}).exitCode, 0);
}

TEST_F(GlimraSession, quitAndTerminationEndTheInstanceCleanly)
{
    start();
    EXPECT_EQ(run({u"quit"_s}).exitCode, 0);
    ASSERT_TRUE(m_app.waitForFinished(10000));
    EXPECT_EQ(m_app.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(m_app.exitCode(), 0);
    // Without an instance, the commands that need one say so and fail.
    for (const QString& command : {u"list"_s, u"quit"_s}) {
        const CommandResult result = run({command});
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.err, u"Glimra is not running\n"_s);
    }
    EXPECT_EQ(run({u"frobnicate"_s}).exitCode, 2);

    start();
    ::kill(static_cast<pid_t>(m_app.processId()), SIGTERM);
    ASSERT_TRUE(m_app.waitForFinished(10000));
    EXPECT_EQ(m_app.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(m_app.exitCode(), 0);
    EXPECT_FALSE(QFileInfo::exists(path(u"run/glimra.socket"_s)));
}
