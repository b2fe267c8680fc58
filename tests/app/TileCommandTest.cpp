#include "GlimraSession.h"
#include "XClient.h"

using namespace glimra::test;

TEST_F(GlimraSession, tileMovesTheActiveFrameWithinTheWorkAreaAndRejectsUnknownPositions)
{
    start();
    XClient x;
    const uint32_t w = x.open({300, 200, 300, 200});
    const std::vector<uint32_t> area = x.property(x.root(), "_NET_WORKAREA");
    const uint32_t desktop = x.property(x.root(), "_NET_CURRENT_DESKTOP").at(0);
    ASSERT_GE(area.size(), desktop * 4 + 4);
    const uint32_t* a = area.data() + desktop * 4;
    const QRect leftHalf{int(a[0]), int(a[1]), qRound(a[2] * 0.5), int(a[3])};

    const CommandResult tiled = run({u"tile"_s, u"left-half"_s});
    EXPECT_EQ(tiled.exitCode, 0) << tiled.err.toStdString();
    EXPECT_TRUE(waitUntil([&] { return x.frameOf(w) == leftHalf; }));

    const CommandResult unknown = run({u"tile"_s, u"sideways"_s});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_TRUE(unknown.err.contains(u"left-half right-half"_s)) << unknown.err.toStdString();
    EXPECT_EQ(x.frameOf(w), leftHalf);
}

TEST_F(GlimraSession, ctrlAltArrowsTileTheActiveWindowWhereNoWindowManagerHoldsThem)
{
    // openbox's stock keys switch desktops with Ctrl+Alt+Left/Right; this one binds nothing.
    PrivateDesktop desktop({1600, 900}, QStringLiteral(OPENBOX_RC));
    ASSERT_FALSE(desktop.display().isEmpty());
    useDisplay(desktop.display());
    start();
    const QJsonArray shortcuts =
        QJsonDocument::fromJson(run({u"shortcuts"_s, u"--json"_s}).out.toUtf8()).array();
    for (const QJsonValue& s : shortcuts)
        EXPECT_TRUE(s[u"registered"_s].toBool()) << s[u"action"_s].toString().toStdString();

    XClient x(desktop.display());
    const uint32_t w = x.open({300, 200, 300, 200});
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"DISPLAY"_s, QString::fromLatin1(desktop.display()));
    const auto press = [&](const QString& keys) {
        QProcess xdotool;
        xdotool.setProcessEnvironment(env);
        xdotool.start(u"xdotool"_s, {u"key"_s, keys});
        return xdotool.waitForFinished(10000) && xdotool.exitCode() == 0;
    };
    const QList<std::pair<QString, QRect>> cases{{u"ctrl+alt+Left"_s, {0, 0, 800, 900}},
                                                 {u"ctrl+alt+Right"_s, {800, 0, 800, 900}},
                                                 {u"ctrl+alt+f"_s, {0, 0, 1600, 900}}};
    for (const auto& [keys, frame] : cases) {
        ASSERT_TRUE(press(keys));
        EXPECT_TRUE(waitUntil([&] { return x.frameOf(w) == frame; })) << keys.toStdString();
    }
}
