// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/SettingsView.h"
#include "library/ScreenshotManager.h"
#include "shortcuts/HotkeyManager.h"
#include "shortcuts/HotkeySettings.h"
#include "shortcuts/ShortcutRecorder.h"
#include "ui/HotkeyRow.h"

#include "FakeKeyGrabber.h"
#include "Fakes.h"
#include "TestSupport.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QSettings>
#include <QShortcut>
#include <QSignalSpy>
#include <QTest>
#include <QWindow>

namespace {

const QStringList kRowIds = {u"fullscreen"_s,   u"area"_s,           u"window"_s,
                             u"tileLeftHalf"_s, u"tileRightHalf"_s,  u"tileTopLeft"_s,
                             u"tileTopRight"_s, u"tileBottomLeft"_s, u"tileBottomRight"_s,
                             u"tileCenter"_s,   u"tileMaximize"_s};

class SettingsViewTest : public ::testing::Test {
protected:
    SettingsViewTest()
    {
        settings.onHotkeysChanged = [this] {
            EXPECT_FALSE(grabber.suspended) << "our keys are back before the save re-registers";
            ++saves;
            hotkeys.reregisterHotkeys();
        };
        hotkeys.registerHotkeys();
        view.show();
    }

    template <typename T = QAbstractButton> T* child(const char* name)
    {
        T* found = view.findChild<T*>(QLatin1StringView(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    QStringList recordingRows() const
    {
        QStringList rows;
        for (const QString& id : kRowIds)
            if (view.row(id)->isRecording())
                rows.append(id);
        return rows;
    }
    void tap(const QString& rowId)
    {
        QTest::mouseClick(view.row(rowId)->findChild<QAbstractButton*>(), Qt::LeftButton);
    }
    // A press on hardware key 15, typed into the settings view's window. X reports the symbol
    // the modifiers make of the key (Shift+6 is "^"); a shortcut names the key itself.
    bool press(quint32 unshiftedKeysym, Qt::KeyboardModifiers modifiers, quint32 reported = 0)
    {
        grabber.levels[15] = unshiftedKeysym;
        QKeyEvent event(QEvent::KeyPress, Qt::Key_unknown, modifiers, 15,
                        reported ? reported : unshiftedKeysym, 0);
        return QCoreApplication::sendEvent(view.windowHandle(), &event) && event.isAccepted();
    }

    ScopedHome home;
    QSettings store{home.path() + u"/Glimra.conf"_s, QSettings::IniFormat};
    HotkeySettings settings{store};
    FakeKeyGrabber grabber;
    HotkeyManager hotkeys{settings, grabber};
    ShortcutRecorder recorder{settings, &grabber};
    FakeClipboard clipboard;
    FakeFolderPicker picker;
    ScreenshotManager screenshots{&clipboard, &picker};
    SettingsView view{&settings, &recorder, &hotkeys, &screenshots};
    int saves = 0;
};

TEST_F(SettingsViewTest, OnlyTheTappedRowRecordsUntilAPressOrTheViewCloses)
{
    tap(u"tileTopLeft"_s);
    EXPECT_EQ(recordingRows(), QStringList{u"tileTopLeft"_s});
    EXPECT_EQ(view.row(u"tileTopLeft"_s)->buttonText(), u"Press keys..."_s);
    tap(u"tileCenter"_s);
    EXPECT_EQ(recordingRows(), QStringList{u"tileCenter"_s});
    EXPECT_EQ(view.row(u"tileTopLeft"_s)->buttonText(), u"Ctrl+Alt+U"_s);

    // An application-wide Ctrl+Alt+U must not run instead of being recorded.
    QShortcut other(
        QKeySequence(u"Ctrl+Alt+U"_s), &view, [] { FAIL(); }, Qt::ApplicationShortcut);
    QTest::keyClick(view.windowHandle(), Qt::Key_U, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_FALSE(press(0x61, Qt::NoModifier)); // a bare key goes on to the view
    EXPECT_EQ(recordingRows(), QStringList{u"tileCenter"_s});
    EXPECT_TRUE(press(0x36, Qt::ShiftModifier | Qt::MetaModifier, 0x5e));
    EXPECT_EQ(settings.binding(10), (HotkeyBinding{22, 768, u"tileCenter"_s}));
    EXPECT_EQ(view.row(u"tileCenter"_s)->buttonText(), u"Shift+Super+6"_s);
    EXPECT_TRUE(recordingRows().isEmpty());
    EXPECT_EQ(saves, 1);
    EXPECT_TRUE(
        store.value(u"hotkeyBindingsV2"_s).toByteArray().contains("\"label\":\"tileCenter\""));

    // Closing the view ends a recording: a later press anywhere is not taken.
    tap(u"area"_s);
    view.hide();
    EXPECT_EQ(recorder.recordingFor(), std::nullopt);
    EXPECT_FALSE(grabber.suspended);
    view.show();
    EXPECT_FALSE(press(0x36, Qt::MetaModifier));
    EXPECT_EQ(settings.binding(2), hotkeyActions()[1].factory);
}

TEST_F(SettingsViewTest, TogglesResetAllFormatAndFolderAreStoredAtOnce)
{
    QTest::mouseClick(child<QCheckBox>("finderCut"), Qt::LeftButton);
    EXPECT_FALSE(settings.finderCutEnabled());
    EXPECT_EQ(store.value(u"finderCutEnabled"_s), QVariant(false));
    EXPECT_EQ(saves, 1);

    tap(u"window"_s);
    ASSERT_TRUE(press(0x61, Qt::ControlModifier));
    ASSERT_EQ(view.row(u"window"_s)->buttonText(), u"Ctrl+A"_s);

    QTest::mouseClick(child("resetAll"), Qt::LeftButton);
    EXPECT_EQ(view.row(u"window"_s)->buttonText(), u"Shift+Super+5"_s);
    EXPECT_TRUE(child<QCheckBox>("finderCut")->isChecked());
    EXPECT_EQ(store.value(u"finderCutEnabled"_s), QVariant(true));
    EXPECT_EQ(HotkeySettings(store).binding(3), hotkeyActions()[2].factory) << "stored too";
    EXPECT_EQ(saves, 3);

    // The format picker shows the format, sets it, and follows a change made elsewhere.
    EXPECT_TRUE(child("png")->isChecked());
    QTest::mouseClick(child("jpeg"), Qt::LeftButton);
    EXPECT_EQ(screenshots.saveFormat(), u"jpeg"_s);
    screenshots.setSaveFormat(u"png"_s);
    EXPECT_TRUE(child("png")->isChecked() && !child("jpeg")->isChecked());

    // The folder line and its reset follow the chosen folder.
    const QString deep = u"/home/someone/Pictures/a/rather/long/folder/name/for/screenshots"_s;
    // What the folder dialog answers, and the folder line then.
    const std::pair<std::optional<QString>, QString> cases[] = {
        {std::nullopt, u"Default"_s},
        {u"/tmp/shots"_s, u"/tmp/shots"_s},
        {deep, {}}, // middle-elided: both ends stay, the middle goes
    };
    for (const auto& [chosen, shown] : cases) {
        picker.nextAnswer = chosen;
        QTest::mouseClick(child("changeFolder"), Qt::LeftButton);
        const QString text = child<QLabel>("folder")->text();
        if (shown.isEmpty()) {
            EXPECT_TRUE(text.startsWith(u"/home") && text.endsWith(u"shots") && text.contains(u'…'))
                << text.toStdString();
        } else {
            EXPECT_EQ(text, shown);
        }
        EXPECT_EQ(child("resetFolder")->isVisible(), chosen.has_value());
        if (chosen) {
            QTest::mouseClick(child("resetFolder"), Qt::LeftButton);
            EXPECT_EQ(screenshots.customSaveLocation(), std::nullopt);
            EXPECT_EQ(child<QLabel>("folder")->text(), u"Default"_s);
            EXPECT_FALSE(child("resetFolder")->isVisible());
        }
    }
}

TEST_F(SettingsViewTest, RowsWhoseKeysAnotherProgramHoldsSaySo)
{
    grabber.refuse = {2, 7};
    NullKeyGrabber none;
    HotkeyManager unavailable{settings, none};
    // The manager the view asks (none: no shortcuts at all), and what the rows say; where the
    // desktop lends no keys, every row names its command and the file-manager cut is off.
    const QString bind = u"Set this shortcut in your desktop's keyboard settings: glimra "_s;
    const std::tuple<HotkeyManager*, QStringList, bool> cases[] = {
        {&hotkeys,
         {u"area: In use by another program"_s, u"tileTopRight: In use by another program"_s},
         true},
        {&unavailable,
         {u"fullscreen: "_s + bind + u"capture full"_s, u"area: "_s + bind + u"capture area"_s},
         false},
        {nullptr, {}, true},
    };
    for (const auto& [manager, expected, cutOffered] : cases) {
        if (manager)
            manager->reregisterHotkeys();
        SettingsView fresh(&settings, &recorder, manager, &screenshots);
        fresh.show();
        QStringList refused;
        for (const QString& id : kRowIds) {
            const auto* note = fresh.row(id)->findChild<QLabel*>(u"refusedNote"_s);
            if (fresh.row(id)->isRefused() || note->isVisible())
                refused.append(id + u": "_s + (note->isVisible() ? note->text() : u"hidden"_s));
        }
        EXPECT_EQ(refused.mid(0, 2), expected) << (manager == &hotkeys);
        const auto* cut = fresh.findChild<QCheckBox*>(u"finderCut"_s);
        EXPECT_EQ(cut->isEnabled(), cutOffered);
        EXPECT_EQ(cut->isChecked(), cutOffered && settings.finderCutEnabled());
        EXPECT_EQ(cut->text() == u"Available in X11 sessions"_s, !cutOffered);
    }
    // Re-recording the refused row onto free keys clears its note.
    grabber.refuse.clear();
    tap(u"area"_s);
    ASSERT_TRUE(press(0x37, Qt::MetaModifier));
    EXPECT_FALSE(view.row(u"area"_s)->isRefused());
}

} // namespace
