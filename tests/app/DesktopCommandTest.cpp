// Desktop-wide keys and window tiling of the real glimra, driven with xdotool.
#include "GlimraSession.h"

#include <QSettings>
#include <xcb/xcb.h>

namespace glimra::test {

namespace {

QJsonObject shortcut(const QJsonArray& list, int id)
{
    for (const QJsonValue& value : list) {
        if (value[u"id"_s].toInt() == id)
            return value.toObject();
    }
    return {};
}

constexpr uint16_t kShiftSuper = XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_4;

} // namespace

TEST_F(GlimraSession, shortcutsWorkDesktopWideAndAKeyHeldElsewhereIsReportedAsRefused)
{
    XClient other;
    // Ctrl+Alt+U, the top-left tiling default, taken by another program first.
    const uint8_t u = other.keycodeFor(0x75);
    ASSERT_TRUE(other.grabKey(u, XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1));
    start();
    QJsonArray list = json(u"shortcuts"_s).array();
    ASSERT_EQ(list.size(), 11);
    EXPECT_EQ(shortcut(list, 1)[u"display"_s].toString(), u"Shift+Super+3"_s);
    EXPECT_TRUE(shortcut(list, 1)[u"registered"_s].toBool());
    EXPECT_TRUE(shortcut(list, 2)[u"registered"_s].toBool());
    EXPECT_FALSE(shortcut(list, 6)[u"registered"_s].toBool());
    EXPECT_EQ(shortcut(list, 6)[u"reason"_s], u"In use by another program"_s);
    EXPECT_EQ(shortcut(list, 1)[u"via"_s], u"x11"_s);
    EXPECT_TRUE(run({u"shortcuts"_s}).out.contains(u"6\ttileTopLeft\tCtrl+Alt+U\trefused\n"_s));

    const qsizetype before = listJson().size();
    xdotool(u"key shift+super+3"_s);
    ASSERT_TRUE(
        waitUntil([&] { return listJson().size() == before + 1; }, std::chrono::seconds(20)));
    EXPECT_EQ(listJson().first()[u"captureType"_s].toString(), u"fullscreen"_s);

    // A binding edited in the settings file takes the new keys at the next start.
    ASSERT_EQ(run({u"quit"_s}).exitCode, 0);
    ASSERT_TRUE(m_app.waitForFinished(10000));
    {
        QSettings store(path(u"config/Glimra/Glimra.conf"_s), QSettings::IniFormat);
        store.setValue(u"hotkeyBindingsV2"_s,
                       QByteArray(R"({"fullScreen":{"keyCode":96,"modifiers":768,"label":"x"}})"));
    }
    const uint8_t three = other.keycodeFor(0x33), f5 = other.keycodeFor(0xffc2);
    EXPECT_TRUE(other.grabKey(three, kShiftSuper)); // free while nothing runs
    other.ungrabKey(three, kShiftSuper);
    start();
    list = json(u"shortcuts"_s).array();
    EXPECT_EQ(shortcut(list, 1)[u"display"_s].toString(), u"Shift+Super+F5"_s);
    EXPECT_TRUE(shortcut(list, 1)[u"registered"_s].toBool());
    EXPECT_FALSE(other.grabKey(f5, kShiftSuper));
    EXPECT_TRUE(other.grabKey(three, kShiftSuper));
}

TEST_F(GlimraSession, ctrlAltArrowsAndTheTileCommandTileTheActiveWindowWhereNoManagerHoldsThem)
{
    // openbox's stock keys switch desktops with Ctrl+Alt+Left/Right; this one binds nothing.
    PrivateDesktop desktop({1600, 900}, QStringLiteral(OPENBOX_RC));
    ASSERT_FALSE(desktop.display().isEmpty());
    m_env.insert(u"DISPLAY"_s, QString::fromLatin1(desktop.display()));
    start();
    for (const QJsonValue& s : json(u"shortcuts"_s).array())
        EXPECT_TRUE(s[u"registered"_s].toBool()) << s[u"action"_s].toString().toStdString();

    XClient x(desktop.display());
    const uint32_t w = x.open({300, 200, 300, 200});
    const ScopedEnv xdotoolDisplay("DISPLAY", desktop.display());
    // The keys, and the command line for one position; an unknown position moves nothing.
    const QList<std::pair<QStringList, QRect>> cases{
        {{u"ctrl+alt+Left"_s}, {0, 0, 800, 900}},
        {{u"ctrl+alt+Right"_s}, {800, 0, 800, 900}},
        {{u"tile"_s, u"left-half"_s}, {0, 0, 800, 900}},
        {{u"ctrl+alt+f"_s}, {0, 0, 1600, 900}}};
    for (const auto& [how, frame] : cases) {
        if (how.size() > 1) {
            ASSERT_EQ(run(how).exitCode, 0);
        } else {
            xdotool(u"key "_s + how[0]);
        }
        EXPECT_TRUE(waitUntil([&] { return x.frameOf(w) == frame; }))
            << how.join(u' ').toStdString();
    }
    const CommandResult unknown = run({u"tile"_s, u"sideways"_s});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_TRUE(unknown.err.contains(u"left-half right-half"_s)) << unknown.err.toStdString();
    EXPECT_EQ(x.frameOf(w), QRect(0, 0, 1600, 900));
}

} // namespace glimra::test
