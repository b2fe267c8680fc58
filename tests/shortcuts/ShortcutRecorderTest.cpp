#include "shortcuts/ShortcutRecorder.h"
#include "shortcuts/HotkeySettings.h"

#include "FakeKeyGrabber.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QSettings>
#include <QTemporaryDir>
#include <QWindow>
#include <gtest/gtest.h>

using namespace glimra;
using namespace glimra::test;
using namespace Qt::StringLiterals;

namespace {

struct TranslateCase {
    quint32 keysym;
    Qt::KeyboardModifiers modifiers;
    std::optional<std::pair<quint32, quint32>> expected;
};

TEST(ShortcutRecorder, translatesTheUnshiftedKeyAndTheFourModifiers)
{
    const auto shiftSuper = Qt::ShiftModifier | Qt::MetaModifier;
    const auto ctrlAlt = Qt::ControlModifier | Qt::AltModifier;
    const TranslateCase cases[] = {
        {0x36, shiftSuper, std::pair{22u, 768u}},                    // Shift+Super+6
        {0x61, Qt::ShiftModifier, std::pair{0u, 512u}},              // Shift alone is enough
        {0x6b, ctrlAlt | Qt::KeypadModifier, std::pair{40u, 6144u}}, // keypad flag dropped
        {0xff51, ctrlAlt, std::pair{123u, 6144u}},
        {0xffbe, Qt::MetaModifier, std::pair{122u, 256u}},
        {0x61, Qt::NoModifier, std::nullopt},        // bare key
        {0xff1b, Qt::NoModifier, std::nullopt},      // bare Escape
        {0xff0d, Qt::MetaModifier, std::nullopt},    // Return: not named
        {0xffb1, Qt::ControlModifier, std::nullopt}, // keypad 1
        {0x5e, shiftSuper, std::nullopt},            // a shifted symbol
        {0, Qt::ControlModifier, std::nullopt},
    };
    for (const TranslateCase& c : cases)
        EXPECT_EQ(ShortcutRecorder::translate(c.keysym, c.modifiers), c.expected) << c.keysym;
}

class RecorderTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QSettings store{dir.filePath(u"Glimra.conf"_s), QSettings::IniFormat};
    HotkeySettings settings{store};
    FakeKeyGrabber grabber;
    ShortcutRecorder recorder{settings, &grabber};
};

TEST_F(RecorderTest, acceptedPressIsStoredUnderTheRowWithOurKeysTakenBackFirst)
{
    QList<bool> suspendedAtSave;
    settings.onHotkeysChanged = [&] { suspendedAtSave.append(grabber.suspended); };

    recorder.startRecording(u"tileLeftHalf"_s);
    recorder.startRecording(u"fullscreen"_s); // switching rows changes nothing yet
    EXPECT_TRUE(grabber.suspended);
    EXPECT_EQ(recorder.recordingFor(), u"fullscreen"_s);
    EXPECT_FALSE(recorder.handleKeyPress(0x61, Qt::NoModifier));
    EXPECT_FALSE(recorder.handleKeyPress(0xff0d, Qt::MetaModifier));
    EXPECT_TRUE(suspendedAtSave.isEmpty());

    EXPECT_TRUE(recorder.handleKeyPress(0x36, Qt::ShiftModifier | Qt::MetaModifier));
    EXPECT_EQ(settings.binding(1), (HotkeyBinding{22, 768, u"fullscreen"_s}));
    EXPECT_EQ(settings.binding(4), hotkeyActions()[3].factory);
    EXPECT_EQ(suspendedAtSave, QList<bool>{false});
    EXPECT_EQ(recorder.recordingFor(), std::nullopt);
    EXPECT_TRUE(
        store.value(u"hotkeyBindingsV2"_s)
            .toByteArray()
            .contains(R"("fullScreen":{"keyCode":22,"modifiers":768,"label":"fullscreen"})"));
    // Not recording: presses are none of the recorder's business.
    EXPECT_FALSE(recorder.handleKeyPress(0x37, Qt::MetaModifier));
}

TEST_F(RecorderTest, readsKeysTypedIntoOurWindowByTheirUnshiftedSymbol)
{
    grabber.levels[15] = 0x36; // hardware key 15 is the "6" key
    QWindow window;
    recorder.startRecording(u"area"_s);
    // What X reports for Shift+Super+6: the shifted symbol "^".
    QKeyEvent press(QEvent::KeyPress, Qt::Key_AsciiCircum, Qt::ShiftModifier | Qt::MetaModifier, 15,
                    0x5e, 0x41, u"^"_s);
    EXPECT_TRUE(QCoreApplication::sendEvent(&window, &press));
    EXPECT_EQ(settings.binding(2), (HotkeyBinding{22, 768, u"area"_s}));
    EXPECT_FALSE(grabber.suspended);
}

} // namespace
