// SPDX-License-Identifier: GPL-3.0-or-later
// Desktop-wide keys and window tiling of the real glimra, driven with xdotool.
#include "GlimraSession.h"

#include <xcb/xcb.h>

namespace glimra::test {

namespace {

// One shortcut of `shortcuts --json` as "display registered reason via".
QString summary(const QJsonArray& list, int id)
{
    for (const QJsonValue& s : list) {
        if (s[u"id"_s].toInt() == id)
            return u"%1 %2 %3 %4"_s.arg(
                s[u"display"_s].toString(), s[u"registered"_s].toVariant().toString(),
                s[u"reason"_s].toString(u"-"_s), s[u"via"_s].toString(u"-"_s));
    }
    return {};
}

} // namespace

TEST_F(GlimraSession, shortcutsWorkDesktopWideAndAKeyHeldElsewhereIsReportedAsRefused)
{
    XClient other;
    // Ctrl+Alt+U, the top-left tiling default, taken by another program first.
    const uint8_t u = other.keycodeFor(0x75);
    ASSERT_TRUE(other.grabKey(u, XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1));
    start();
    const QJsonArray list = json(u"shortcuts"_s).array();
    ASSERT_EQ(list.size(), 11);
    EXPECT_EQ(summary(list, 1), u"Shift+Super+3 true - x11"_s);
    EXPECT_EQ(summary(list, 6), u"Ctrl+Alt+U false In use by another program -"_s);
    EXPECT_TRUE(run({u"shortcuts"_s}).out.contains(u"6\ttileTopLeft\tCtrl+Alt+U\trefused\n"_s));

    const qsizetype before = listJson().size();
    xdotool(u"key shift+super+3"_s);
    ASSERT_TRUE(
        waitUntil([&] { return listJson().size() == before + 1; }, std::chrono::seconds(20)));
    EXPECT_EQ(listJson().first()[u"captureType"_s].toString(), u"fullscreen"_s);
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
        {{u"tile"_s, u"right-half"_s}, {800, 0, 800, 900}},
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
