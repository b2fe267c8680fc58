// SPDX-License-Identifier: GPL-3.0-or-later
#include "shortcuts/HotkeyManager.h"
#include "shortcuts/HotkeySettings.h"
#include "shortcuts/ShortcutRecorder.h"

#include "FakeKeyGrabber.h"
#include "TestSupport.h"

#include <QSettings>

namespace {

// One settings file, and the manager and the recorder that work on it.
class HotkeysTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QSettings store{dir.filePath(u"Glimra.conf"_s), QSettings::IniFormat};
    HotkeySettings settings{store};
    FakeKeyGrabber grabber;
    HotkeyManager manager{settings, grabber};
    ShortcutRecorder recorder{settings, &grabber};
};

TEST(HotkeyBinding, displayStringNamesModifiersInFixedOrderThenTheKey)
{
    const std::tuple<quint32, quint32, const char*> cases[] = {
        {0, 0x1B00, "Ctrl+Alt+Shift+Super+A"},
        {0, 0x1BFF, "Ctrl+Alt+Shift+Super+A"},
        {20, 768, "Shift+Super+3"},
        {123, 6144, "Ctrl+Alt+\u2190"},
        {36, 256, "Super+?"},
        {49, 0, "Space"},
        {42, 512, "Shift+\\"},
        {113, 256, "Super+F15"}};
    for (const auto& [keyCode, modifiers, text] : cases)
        EXPECT_EQ(HotkeyBinding({keyCode, modifiers, {}}).displayString(), QString::fromUtf8(text));
}

const QByteArray kArea = R"({"keyCode":0,"modifiers":4096,"label":"area"})";
const QByteArray kNoLabel = R"({"keyCode":0,"modifiers":4096})";
const QByteArray kHugeKey = R"({"keyCode":4294967296,"modifiers":0,"label":""})";
const QByteArray kNegative = R"({"keyCode":1,"modifiers":-1,"label":""})";
const QByteArray kFraction = R"({"keyCode":1.5,"modifiers":0,"label":""})";
QByteArray area(const QByteArray& binding)
{
    return "{\"area\":" + binding + "}";
}
const QByteArray kOld3 = R"([{"keyCode":1,"modifiers":256,"label":"a"},)"
                         R"({"keyCode":2,"modifiers":256,"label":"b"},)"
                         R"({"keyCode":3,"modifiers":256,"label":"c"}])";
const QByteArray kOld2 = R"([{"keyCode":1,"modifiers":256,"label":"a"},)"
                         R"({"keyCode":2,"modifiers":256,"label":"b"}])";

TEST_F(HotkeysTest, loadsCurrentFormFallsBackToOlderFormAndMigratesOnlyThreeCaptures)
{
    // The current and the older form stored; what loading makes of them: the key codes of the
    // three captures ("-": the factory binding), then which forms the store holds afterwards.
    using Stored = std::optional<QByteArray>;
    const std::tuple<const char*, Stored, Stored, const char*> cases[] = {
        {"empty store", {}, {}, "- - -"},
        {"only area", area(kArea), {}, "- 0 - current"},
        {"binding without label", area(kNoLabel), {}, "- - - current"},
        {"malformed falls back", "{\"area\":", kOld3, "1 2 3 current"},
        {"unknown member must decode too", area(kArea + ",\"x\":1"), kOld3, "1 2 3 current"},
        {"key code beyond 32 bits", area(kHugeKey), {}, "- - - current"},
        {"negative modifiers", area(kNegative), kOld2, "- - - older current"},
        {"fractional key code", area(kFraction), {}, "- - - current"},
        {"three older bindings", {}, kOld3, "1 2 3 current"},
        {"two older bindings", {}, kOld2, "- - - older"},
        {"older array that is not all bindings", {}, "[1,2,3]", "- - - older"},
        {"current wins over older", area(kArea), kOld3, "- 0 - older current"},
    };
    for (const auto& [name, current, older, expected] : cases) {
        store.clear();
        if (current)
            store.setValue(u"hotkeyBindingsV2"_s, *current);
        if (older)
            store.setValue(u"hotkeyBindings"_s, *older);
        HotkeySettings loaded(store);
        QStringList got;
        for (int id = 1; id <= kHotkeyCount; ++id) {
            const bool factory = loaded.binding(id) == hotkeyActions()[size_t(id - 1)].factory;
            if (id <= 3)
                got.append(factory ? u"-"_s : QString::number(loaded.binding(id).keyCode));
            else
                EXPECT_TRUE(factory) << name << id;
        }
        if (store.contains(u"hotkeyBindings"_s))
            got.append(u"older"_s);
        if (store.contains(u"hotkeyBindingsV2"_s))
            got.append(u"current"_s);
        EXPECT_EQ(got.join(u' '), QLatin1String(expected)) << name;
        EXPECT_TRUE(loaded.finderCutEnabled()) << name;
    }
}

TEST_F(HotkeysTest, savesCompactJsonInMemberOrderAndReadsItBack)
{
    int changes = 0;
    {
        HotkeySettings saving(store);
        saving.onHotkeysChanged = [&] { ++changes; };
        saving.setBinding(6, {0, 4096, u"say \"hi\"\\"_s});
        saving.setFinderCutEnabled(false);
        saving.save();
    }
    EXPECT_EQ(changes, 1);
    const QByteArray json = store.value(u"hotkeyBindingsV2"_s).toByteArray();
    EXPECT_TRUE(json.startsWith(
        R"({"fullScreen":{"keyCode":20,"modifiers":768,"label":"Full Screen"},"area":)"))
        << json.constData();
    EXPECT_TRUE(
        json.contains(R"("tileTopLeft":{"keyCode":0,"modifiers":4096,"label":"say \"hi\"\\"})"));
    EXPECT_FALSE(json.contains("\": ") || json.contains(", ") || json.contains('\n'));

    HotkeySettings reread(store);
    EXPECT_EQ(reread.binding(6), (HotkeyBinding{0, 4096, u"say \"hi\"\\"_s}));
    EXPECT_FALSE(reread.finderCutEnabled());
}

TEST_F(HotkeysTest, registersElevenInOrderAndARefusedOneLeavesTheOthers)
{
    grabber.refuse = {4};
    manager.registerHotkeys();
    const auto shiftSuper = Qt::ShiftModifier | Qt::MetaModifier;
    const auto ctrlAlt = Qt::ControlModifier | Qt::AltModifier;
    const quint32 keysyms[] = {0x33, 0x34, 0x35, 0xff51, 0xff53, 0x75,
                               0x69, 0x6a, 0x6b, 0x63,   0x66};
    QList<FakeKeyGrabber::Held> expected;
    for (int id = 1; id <= kHotkeyCount; ++id)
        expected.append({keysyms[id - 1], id <= 3 ? shiftSuper : ctrlAlt, id});
    EXPECT_EQ(grabber.attempts, expected);
    for (int id = 1; id <= kHotkeyCount; ++id)
        EXPECT_EQ(manager.isRegistered(id), id != 4) << id;

    // Every save re-registers the whole set, never on top of the last one.
    settings.onHotkeysChanged = [this] { manager.reregisterHotkeys(); };
    settings.save();
    settings.save();
    EXPECT_EQ(grabber.grabs.size(), 10);
}

TEST_F(HotkeysTest, rowsNameTheCommandToBindWhereTheDesktopKeepsKeysOrWindowsToItself)
{
    const QString bind = u"Set this shortcut in your desktop's keyboard settings: glimra "_s;
    const QString noTiling = u"Window tiling is not available on this desktop"_s;
    using Cause = GlobalKeyGrabber::Refusal::Cause;
    struct Case {
        bool keys, tiling;
        Cause refusedAs;
        int id;
        std::optional<QString> reason;
    };
    const Case cases[] = {
        {false, true, Cause::None, 2, bind + u"capture area"_s},
        {false, true, Cause::None, 11, bind + u"tile maximize"_s},
        {false, false, Cause::None, 4, noTiling},
        {true, false, Cause::None, 1, std::nullopt},
        {true, false, Cause::None, 9, noTiling},
        {true, true, Cause::None, 9, std::nullopt},
        // A desktop that took the request and bound no keys: its settings are the way.
        {true, true, Cause::Desktop, 3, bind + u"capture window"_s},
        {true, true, Cause::Pending, 5, u"Waiting for the desktop's answer"_s},
    };
    for (const Case& c : cases) {
        grabber.available = c.keys;
        grabber.refuse = {};
        if (c.refusedAs != Cause::None)
            grabber.refuse = {c.id};
        grabber.refusedAs = c.refusedAs;
        grabber.attempts.clear();
        manager.setTilingAvailable(c.tiling);
        manager.reregisterHotkeys();
        EXPECT_EQ(manager.refusalReason(c.id), c.reason) << c.id;
        // Keys for tiles that could move nothing are never asked for.
        EXPECT_EQ(grabber.attempts.size(), c.tiling ? kHotkeyCount : 3) << c.id;
    }
}

TEST_F(HotkeysTest, pressesRunTheirActionLaterFromTheEventLoop)
{
    QList<int> captures, tiles;
    manager.onCapture = [&](int id) { captures.append(id); };
    manager.onTile = [&](int position) { tiles.append(position); };
    for (int id : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, -1})
        Q_EMIT grabber.pressed(id);
    EXPECT_TRUE(captures.isEmpty());
    processEvents();
    EXPECT_EQ(captures, (QList<int>{1, 2, 3}));
    EXPECT_EQ(tiles, (QList<int>{0, 1, 2, 3, 4, 5, 6, 7}));
}

TEST(ShortcutRecorder, translatesTheUnshiftedKeyAndTheFourModifiers)
{
    const auto shiftSuper = Qt::ShiftModifier | Qt::MetaModifier;
    const auto ctrlAlt = Qt::ControlModifier | Qt::AltModifier;
    // The key's unshifted symbol and the modifiers held; the key code and modifiers stored.
    const std::tuple<quint32, Qt::KeyboardModifiers, std::optional<std::pair<quint32, quint32>>>
        cases[] = {
            {0x36, shiftSuper, std::pair{22u, 768u}},                    // Shift+Super+6
            {0x61, Qt::ShiftModifier, std::pair{0u, 512u}},              // Shift alone is enough
            {0x6b, ctrlAlt | Qt::KeypadModifier, std::pair{40u, 6144u}}, // keypad flag dropped
            {0xff51, ctrlAlt, std::pair{123u, 6144u}},
            {0xffbe, Qt::MetaModifier, std::pair{122u, 256u}},
            {0x61, Qt::NoModifier, std::nullopt},              // bare key
            {0xff1b, Qt::NoModifier, std::nullopt},            // bare Escape
            {0xff0d, Qt::MetaModifier, std::nullopt},          // Return: not named
            {0xffb1, Qt::ControlModifier, std::nullopt},       // keypad 1
            {0x58, Qt::ControlModifier, std::pair{7u, 4096u}}, // a capital X is still the X key
            {0x5e, shiftSuper, std::nullopt},                  // "^" is the shifted 6, not a key
            {0, Qt::ControlModifier, std::nullopt},
        };
    for (const auto& [keysym, modifiers, expected] : cases)
        EXPECT_EQ(ShortcutRecorder::translate(keysym, modifiers), expected) << keysym;
}

} // namespace
