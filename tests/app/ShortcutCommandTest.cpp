#include "GlimraSession.h"
#include "XClient.h"

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
    const auto shortcuts = [&] {
        return QJsonDocument::fromJson(run({u"shortcuts"_s, u"--json"_s}).out.toUtf8()).array();
    };
    QJsonArray list = shortcuts();
    ASSERT_EQ(list.size(), 11);
    EXPECT_EQ(shortcut(list, 1)[u"display"_s].toString(), u"Shift+Super+3"_s);
    EXPECT_TRUE(shortcut(list, 1)[u"registered"_s].toBool());
    EXPECT_TRUE(shortcut(list, 2)[u"registered"_s].toBool());
    EXPECT_FALSE(shortcut(list, 6)[u"registered"_s].toBool());
    EXPECT_TRUE(run({u"shortcuts"_s}).out.contains(u"6\ttileTopLeft\tCtrl+Alt+U\trefused\n"_s));

    const qsizetype before = listJson().size();
    GlimraSession::tool(u"xdotool"_s, {u"key"_s, u"shift+super+3"_s});
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
    list = shortcuts();
    EXPECT_EQ(shortcut(list, 1)[u"display"_s].toString(), u"Shift+Super+F5"_s);
    EXPECT_TRUE(shortcut(list, 1)[u"registered"_s].toBool());
    EXPECT_FALSE(other.grabKey(f5, kShiftSuper));
    EXPECT_TRUE(other.grabKey(three, kShiftSuper));
}

} // namespace glimra::test
