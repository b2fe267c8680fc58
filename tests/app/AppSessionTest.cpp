// Drives the real glimra executable as a user would: from the tray, with xdotool, and through
// its command line, inside the test X server with openbox and trayer.
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRect>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <csignal>

using namespace glimra::test;

namespace {

struct CommandResult {
    int exitCode = -1;
    QString out;
    QString err;
};

class GlimraSession : public ::testing::Test {
protected:
    GlimraSession()
    {
        for (const char* dir : {"data/Glimra", "config/Glimra", "run", "Pictures/Screenshots"})
            QDir(m_home.path()).mkpath(QString::fromLatin1(dir));
        QFile::setPermissions(path(QStringLiteral("run")), QFileDevice::ReadOwner |
                                                               QFileDevice::WriteOwner |
                                                               QFileDevice::ExeOwner);
        m_env = QProcessEnvironment::systemEnvironment();
        m_env.insert(QStringLiteral("HOME"), m_home.path());
        m_env.insert(QStringLiteral("XDG_DATA_HOME"), path(QStringLiteral("data")));
        m_env.insert(QStringLiteral("XDG_CONFIG_HOME"), path(QStringLiteral("config")));
        m_env.insert(QStringLiteral("XDG_RUNTIME_DIR"), path(QStringLiteral("run")));
        m_env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    }
    ~GlimraSession() override
    {
        if (m_app.state() != QProcess::NotRunning) {
            m_app.terminate();
            if (!m_app.waitForFinished(5000))
                m_app.kill();
            m_app.waitForFinished();
        }
    }

    QString path(const QString& relative) const
    {
        return m_home.path() + QLatin1Char('/') + relative;
    }
    QString library() const { return path(QStringLiteral("data/Glimra")); }

    CommandResult run(const QStringList& args, int timeoutMs = 20000)
    {
        QProcess process;
        process.setProcessEnvironment(m_env);
        process.start(QStringLiteral(GLIMRA_BIN), args);
        CommandResult result;
        if (!process.waitForFinished(timeoutMs)) {
            process.kill();
            process.waitForFinished();
            return result;
        }
        result.exitCode = process.exitCode();
        result.out = QString::fromUtf8(process.readAllStandardOutput());
        result.err = QString::fromUtf8(process.readAllStandardError());
        return result;
    }

    // Starts the instance and waits until it answers with its whole library.
    void start()
    {
        m_app.setProcessEnvironment(m_env);
        m_app.setProcessChannelMode(QProcess::ForwardedChannels);
        m_app.start(QStringLiteral(GLIMRA_BIN), {});
        ASSERT_TRUE(m_app.waitForStarted());
        ASSERT_TRUE(waitUntil([&] { return run({QStringLiteral("list")}).exitCode == 0; },
                              std::chrono::seconds(20)));
    }

    QJsonArray listJson()
    {
        const CommandResult result = run({QStringLiteral("list"), QStringLiteral("--json")});
        return QJsonDocument::fromJson(result.out.toUtf8()).array();
    }

    static QString tool(const QString& program, const QStringList& args)
    {
        QProcess process;
        process.start(program, args);
        process.waitForFinished(10000);
        return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    }

    // The popover, when it is on screen.
    static std::optional<QRect> visiblePopover()
    {
        const QString ids = tool(QStringLiteral("xdotool"),
                                 {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                  QStringLiteral("--name"), QStringLiteral("^Glimra$")});
        for (const QString& id : ids.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            const QString shape =
                tool(QStringLiteral("xdotool"),
                     {QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), id});
            QHash<QString, int> values;
            for (const QString& line : shape.split(QLatin1Char('\n'))) {
                const QStringList kv = line.split(QLatin1Char('='));
                if (kv.size() == 2)
                    values.insert(kv[0], kv[1].toInt());
            }
            const QRect rect(values.value(QStringLiteral("X")), values.value(QStringLiteral("Y")),
                             values.value(QStringLiteral("WIDTH")),
                             values.value(QStringLiteral("HEIGHT")));
            if (rect.width() == 360 && rect.height() == 480)
                return rect;
        }
        return std::nullopt;
    }

    // trayer embeds our icon; its widest window is the panel holding it.
    static QRect trayIconRect()
    {
        QRect best;
        const QString ids = tool(QStringLiteral("xdotool"),
                                 {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                  QStringLiteral("--class"), QStringLiteral("trayer")});
        for (const QString& id : ids.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            const QString shape =
                tool(QStringLiteral("xdotool"),
                     {QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), id});
            QRegularExpressionMatch m =
                QRegularExpression(
                    QStringLiteral("X=(-?\\d+)\\nY=(-?\\d+)\\nWIDTH=(\\d+)\\nHEIGHT=(\\d+)"))
                    .match(shape);
            if (!m.hasMatch())
                continue;
            const QRect rect(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt(),
                             m.captured(4).toInt());
            if (rect.width() > best.width())
                best = rect;
        }
        return best;
    }

    static void click(QPoint p)
    {
        tool(QStringLiteral("xdotool"),
             {QStringLiteral("mousemove"), QString::number(p.x()), QString::number(p.y()),
              QStringLiteral("click"), QStringLiteral("1")});
    }

    QTemporaryDir m_home;
    QProcessEnvironment m_env;
    QProcess m_app;
};

} // namespace

TEST_F(GlimraSession, withoutAnInstanceListAndQuitSaySoAndFail)
{
    for (const QString& command : {QStringLiteral("list"), QStringLiteral("quit")}) {
        const CommandResult result = run({command});
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.err, QStringLiteral("Glimra is not running\n"));
    }
    EXPECT_EQ(run({QStringLiteral("frobnicate")}).exitCode, 2);
}

TEST_F(GlimraSession, listPrintsTheLibraryNewestFirstAsTextAndJson)
{
    ASSERT_TRUE(writeImage(library() + QStringLiteral("/old.png"), makeTestImage(64, 40)));
    QThread::msleep(30);
    ASSERT_TRUE(writeImage(library() + QStringLiteral("/new.jpg"), makeTestImage(64, 40)));
    start();

    const QStringList lines =
        run({QStringLiteral("list")}).out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].endsWith(QLatin1String("/new.jpg")));

    const QJsonArray items = listJson();
    ASSERT_EQ(items.size(), 2);
    const QJsonObject first = items[0].toObject();
    EXPECT_EQ(first.value(QStringLiteral("path")).toString(),
              library() + QStringLiteral("/new.jpg"));
    EXPECT_EQ(first.value(QStringLiteral("syncStatus")).toString(), QStringLiteral("local"));
    EXPECT_TRUE(first.value(QStringLiteral("serverId")).isNull());
    EXPECT_TRUE(first.value(QStringLiteral("captureType")).isNull());
    EXPECT_TRUE(QRegularExpression(
                    QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d[+-]\\d\\d:\\d\\d$"))
                    .match(first.value(QStringLiteral("date")).toString())
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
    click(popover->topLeft() + QPoint(popover->width() - 25, 20));
    click({200, 600});
    QThread::msleep(400);
    EXPECT_TRUE(visiblePopover());

    // A second glimra shows and hides the running one instead of starting another.
    const CommandResult second = run({});
    EXPECT_EQ(second.exitCode, 0);
    EXPECT_TRUE(waitUntil([&] { return !visiblePopover(); }));
    EXPECT_EQ(m_app.state(), QProcess::Running);
}

TEST_F(GlimraSession, aDesktopScreenshotMovesIntoTheLibraryAndOntoTheClipboard)
{
    start();
    const QString source =
        path(QStringLiteral("Pictures/Screenshots/Screenshot 2026-12-06 at 10.00.00.png"));
    ASSERT_TRUE(makeTestImage(800, 450).save(source));
    QJsonArray items;
    ASSERT_TRUE(waitUntil([&] { return (items = listJson()).size() == 1; }));
    EXPECT_FALSE(QFileInfo::exists(source));
    const QString moved = items[0].toObject().value(QStringLiteral("path")).toString();
    EXPECT_TRUE(QFileInfo(moved).fileName().startsWith(QLatin1String("Glimra_")));
    EXPECT_EQ(QImage(moved).size(), QSize(800, 450));
    EXPECT_EQ(items[0].toObject().value(QStringLiteral("captureType")).toString(),
              QStringLiteral("fullscreen"));

    const QStringList targets =
        tool(QStringLiteral("xclip"),
             {QStringLiteral("-selection"), QStringLiteral("clipboard"), QStringLiteral("-t"),
              QStringLiteral("TARGETS"), QStringLiteral("-o")})
            .split(QLatin1Char('\n'));
    EXPECT_TRUE(targets.contains(QStringLiteral("image/png")));
    EXPECT_TRUE(targets.contains(QStringLiteral("image/tiff")));
}

TEST_F(GlimraSession, captureFromTheCommandLineAddsTheItemOrReportsWhy)
{
    // No instance yet: the command starts one first.
    const CommandResult full = run({QStringLiteral("capture"), QStringLiteral("full")});
    ASSERT_EQ(full.exitCode, 0) << full.err.toStdString();
    const QString captured = full.out.trimmed();
    EXPECT_TRUE(QFileInfo(captured).fileName().startsWith(QLatin1String("Glimra_")));
    EXPECT_EQ(QImage(captured).size(), QSize(1920, 1080));
    const QJsonArray items = listJson();
    ASSERT_GE(items.size(), 1);
    EXPECT_EQ(items[0].toObject().value(QStringLiteral("captureType")).toString(),
              QStringLiteral("fullscreen"));
    EXPECT_EQ(items[0].toObject().value(QStringLiteral("path")).toString(), captured);
    EXPECT_TRUE(tool(QStringLiteral("xclip"),
                     {QStringLiteral("-selection"), QStringLiteral("clipboard"),
                      QStringLiteral("-t"), QStringLiteral("TARGETS"), QStringLiteral("-o")})
                    .contains(QLatin1String("image/png")));

    QFile settings(path(QStringLiteral("config/Glimra/Glimra.conf")));
    ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
    settings.write("[General]\ncaptureTool=/bin/false\n");
    settings.close();
    const CommandResult cancelled = run({QStringLiteral("capture"), QStringLiteral("area")});
    EXPECT_EQ(cancelled.exitCode, 1);
    EXPECT_EQ(cancelled.err, QStringLiteral("Capture cancelled\n"));
    EXPECT_EQ(run({QStringLiteral("capture"), QStringLiteral("sideways")}).exitCode, 2);
    EXPECT_EQ(run({QStringLiteral("quit")}).exitCode, 0);
}

TEST_F(GlimraSession, quitAndTerminationEndTheInstanceCleanly)
{
    start();
    EXPECT_EQ(run({QStringLiteral("quit")}).exitCode, 0);
    ASSERT_TRUE(m_app.waitForFinished(10000));
    EXPECT_EQ(m_app.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(m_app.exitCode(), 0);
    EXPECT_EQ(run({QStringLiteral("list")}).exitCode, 1);

    start();
    ::kill(static_cast<pid_t>(m_app.processId()), SIGTERM);
    ASSERT_TRUE(m_app.waitForFinished(10000));
    EXPECT_EQ(m_app.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(m_app.exitCode(), 0);
    EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("run/glimra.socket"))));
}
