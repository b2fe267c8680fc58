// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/AppDelegate.h"
#include "filecut/FinderCutManager.h"
#include "platform/ActiveWindowClass.h"
#include "platform/x11/X11KeyGrabber.h"
#include "shortcuts/HotkeyManager.h"
#include "shortcuts/HotkeySettings.h"

#include "TestSupport.h"
#include "XClient.h"

#include <QProcess>
#include <QScopeGuard>
#include <QSettings>
#include <xcb/xcb.h>

#include <list>

namespace {

TEST(FileManagerCut, superXThenSuperVMovesAFileBetweenTwoWindows)
{
    QTemporaryDir root;
    const QString a = root.filePath(u"A"_s), b = root.filePath(u"B"_s);
    ASSERT_TRUE(QDir().mkpath(a) && QDir().mkpath(b) && QDir().mkpath(root.filePath(u"home"_s)));
    ASSERT_TRUE(writeFile(a + u"/moveme.txt"_s, "glimra"));

    X11KeyGrabber grabber;
    FinderCutManager manager(grabber, activeWindowClass);
    manager.install();

    // A real PCManFM in a throw-away home, where its single-instance socket is new: the first
    // one started keeps running and opens each later folder in a window of its own.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"HOME"_s, root.filePath(u"home"_s));
    for (const char* var : {"XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME"})
        env.insert(QString::fromLatin1(var), root.filePath(u"home/"_s + QString::fromLatin1(var)));
    std::list<QProcess> pcmanfm;
    const auto stop = qScopeGuard([&] {
        for (QProcess& p : pcmanfm)
            p.kill(), p.waitForFinished();
    });
    // The window's id, once it is active; empty if it never showed.
    const auto open = [&](const QString& folder) {
        QProcess& process = pcmanfm.emplace_back();
        process.setProcessEnvironment(env);
        process.start(u"pcmanfm"_s, {u"--new-win"_s, folder});
        const QString title = u"^"_s + QFileInfo(folder).fileName() + u"$"_s;
        const QString window = QString::fromLatin1(xdotool(u"search --sync --name "_s + title))
                                   .split(u'\n', Qt::SkipEmptyParts)
                                   .value(0);
        xdotool(u"windowactivate --sync "_s + window);
        processEvents(std::chrono::milliseconds(300));
        return window;
    };

    // Cut in A, paste in B.
    ASSERT_FALSE(open(a).isEmpty());
    xdotool(u"key ctrl+a"_s);
    xdotool(u"key super+x"_s);
    ASSERT_TRUE(waitUntil([&] { return manager.cutPending(); }));
    ASSERT_FALSE(open(b).isEmpty());
    xdotool(u"key super+v"_s);
    EXPECT_TRUE(waitUntil([&] { return QFile::exists(b + u"/moveme.txt"_s); }));
    EXPECT_FALSE(QFile::exists(a + u"/moveme.txt"_s));
    EXPECT_FALSE(manager.cutPending());
}

// Every refusal but the last is our own doing, and the user mends each one differently.
TEST(FileManagerCut, refusedShortcutsNameWhatHoldsTheirKeysAndTurningTheCutOffFreesThem)
{
    XClient other;
    ASSERT_TRUE(other.grabKey(other.keycodeFor(0xffc9), XCB_MOD_MASK_4)); // Super+F12
    QTemporaryDir home;
    QSettings store(home.filePath(u"glimra.ini"_s), QSettings::IniFormat);
    HotkeySettings settings(store);
    X11KeyGrabber grabber;
    FinderCutManager cut(grabber, activeWindowClass);
    HotkeyManager hotkeys(settings, grabber);
    settings.onHotkeysChanged = [&] { AppDelegate::applyHotkeySettings(settings, cut, hotkeys); };
    const quint32 super = HotkeyModifier::Command;
    // The binding set for an id, and why it is refused (none: it is held).
    const std::tuple<int, HotkeyBinding, std::optional<QString>> cases[] = {
        {1, {9, super, u"v"_s}, u"Used by File Manager Cut"_s},
        {2, {36, super, u"return"_s}, u"Not a key Glimra knows"_s},
        {3, {113, super, u"f15"_s}, u"Not a key this keyboard has"_s},
        {4, {111, super, u"f12"_s}, u"In use by another program"_s},
        {5, {101, super, u"f9"_s}, std::nullopt},
        {6, {101, super, u"f9"_s}, u"Used by Right Half"_s},
    };
    for (const auto& [id, binding, reason] : cases)
        settings.setBinding(id, binding);
    cut.install();
    settings.save();
    for (const auto& [id, binding, reason] : cases) {
        EXPECT_EQ(hotkeys.refusalReason(id), reason) << id;
        EXPECT_EQ(hotkeys.via(id), reason ? QString() : u"x11"_s) << id;
    }

    settings.setFinderCutEnabled(false);
    settings.save();
    EXPECT_TRUE(hotkeys.isRegistered(1));
    EXPECT_FALSE(other.grabKey(other.keycodeFor(0x76), XCB_MOD_MASK_4));
}

} // namespace
