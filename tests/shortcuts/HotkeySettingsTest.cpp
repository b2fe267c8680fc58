#include "shortcuts/HotkeySettings.h"

#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace glimra;
using namespace Qt::StringLiterals;

namespace {

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

TEST(HotkeyBinding, everyNamedKeyHasItsOwnKeysymBothWays)
{
    int named = 0;
    for (quint32 code = 0; code < 256; ++code) {
        const auto keysym = keysymForKeyCode(code);
        EXPECT_EQ(keysym.has_value(), keyCodeToString(code) != u"?"_s) << code;
        if (!keysym)
            continue;
        ++named;
        EXPECT_EQ(keyCodeForKeysym(*keysym), code) << code;
    }
    EXPECT_EQ(named, 70);
    EXPECT_EQ(keyCodeForKeysym(0x58), 7u);           // a capital X still means the X key
    EXPECT_EQ(keyCodeForKeysym(0x5e), std::nullopt); // "^" is the shifted 6, not a key
}

class StoreTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QSettings store{dir.filePath(u"Glimra.conf"_s), QSettings::IniFormat};
};

const QByteArray kArea = R"({"keyCode":0,"modifiers":4096,"label":"area"})";
const QByteArray kNoLabel = R"({"keyCode":0,"modifiers":4096})";
const QByteArray kOld3 = R"([{"keyCode":1,"modifiers":256,"label":"a"},)"
                         R"({"keyCode":2,"modifiers":256,"label":"b"},)"
                         R"({"keyCode":3,"modifiers":256,"label":"c"}])";
const QByteArray kOld2 = R"([{"keyCode":1,"modifiers":256,"label":"a"},)"
                         R"({"keyCode":2,"modifiers":256,"label":"b"}])";

struct LoadCase {
    const char* name;
    std::optional<QByteArray> current, older;
    // Expected key codes of fullScreen and area after loading; -1 means the factory value.
    int fullScreen, area;
    bool olderKept, currentWritten;
};

TEST_F(StoreTest, loadsCurrentFormFallsBackToOlderFormAndMigratesOnlyThreeCaptures)
{
    const LoadCase cases[] = {
        {"empty store", {}, {}, -1, -1, false, false},
        {"only area", "{\"area\":" + kArea + "}", {}, -1, 0, false, true},
        {"binding without label", "{\"area\":" + kNoLabel + "}", {}, -1, -1, false, true},
        {"malformed falls back", "{\"area\":", kOld3, 1, 2, false, true},
        {"unknown member must decode too", "{\"area\":" + kArea + ",\"x\":1}", kOld3, 1, 2, false,
         true},
        {"key code beyond 32 bits",
         R"({"area":{"keyCode":4294967296,"modifiers":0,"label":""}})",
         {},
         -1,
         -1,
         false,
         true},
        {"negative modifiers", R"({"area":{"keyCode":1,"modifiers":-1,"label":""}})", kOld2, -1, -1,
         true, true},
        {"fractional key code",
         R"({"area":{"keyCode":1.5,"modifiers":0,"label":""}})",
         {},
         -1,
         -1,
         false,
         true},
        {"three older bindings", {}, kOld3, 1, 2, false, true},
        {"two older bindings", {}, kOld2, -1, -1, true, false},
        {"older array that is not all bindings", {}, "[1,2,3]", -1, -1, true, false},
        {"current wins over older", "{\"area\":" + kArea + "}", kOld3, -1, 0, true, true},
    };
    for (const LoadCase& c : cases) {
        store.clear();
        if (c.current)
            store.setValue(u"hotkeyBindingsV2"_s, *c.current);
        if (c.older)
            store.setValue(u"hotkeyBindings"_s, *c.older);
        HotkeySettings settings(store);
        const auto factory = [](int id) { return hotkeyActions()[size_t(id - 1)].factory; };
        EXPECT_EQ(settings.binding(1).keyCode,
                  c.fullScreen < 0 ? factory(1).keyCode : quint32(c.fullScreen))
            << c.name;
        EXPECT_EQ(settings.binding(2).keyCode, c.area < 0 ? factory(2).keyCode : quint32(c.area))
            << c.name;
        EXPECT_EQ(settings.binding(3).keyCode, c.fullScreen == 1 ? 3u : factory(3).keyCode)
            << c.name;
        for (int id = 4; id <= kHotkeyCount; ++id)
            EXPECT_EQ(settings.binding(id), factory(id)) << c.name;
        EXPECT_EQ(store.contains(u"hotkeyBindings"_s), c.olderKept) << c.name;
        EXPECT_EQ(store.contains(u"hotkeyBindingsV2"_s), c.currentWritten) << c.name;
        EXPECT_TRUE(settings.finderCutEnabled()) << c.name;
    }
}

TEST_F(StoreTest, savesCompactJsonInMemberOrderAndReadsItBack)
{
    int changes = 0;
    {
        HotkeySettings settings(store);
        settings.onHotkeysChanged = [&] { ++changes; };
        settings.setBinding(6, {0, 4096, u"say \"hi\"\\"_s});
        settings.setFinderCutEnabled(false);
        settings.save();
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

    int resets = 0;
    reread.onHotkeysChanged = [&] { ++resets; };
    reread.resetToDefaults();
    EXPECT_EQ(resets, 1);
    HotkeySettings afterReset(store);
    for (int id = 1; id <= kHotkeyCount; ++id)
        EXPECT_EQ(afterReset.binding(id), hotkeyActions()[size_t(id - 1)].factory);
    EXPECT_TRUE(afterReset.finderCutEnabled());
}

} // namespace
