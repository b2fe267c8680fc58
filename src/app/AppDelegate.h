// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/PopoverDismissal.h"
#include "platform/PlatformServices.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>

#include <memory>

class QMenu;
class QSettings;
class QSystemTrayIcon;
class QWindow;

namespace glimra {

class AuthManager;
class FinderCutManager;
class HotkeyManager;
class HotkeySettings;
class PopoverWindow;
class RemoteControl;
class ScreenshotManager;
namespace editor {
class EditorLauncher;
}
class ShortcutRecorder;
class SyncEngine;
class TextManager;
class WindowTilingManager;

// Owns every long-lived manager, brings them up in order at launch and takes down what launch
// installed when the application ends.
class AppDelegate final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AppDelegate)
public:
    explicit AppDelegate(PlatformServices services, QObject* parent = nullptr);
    ~AppDelegate() override;

    void applicationDidFinishLaunching();
    void applicationWillTerminate();

    // The tray icon's click.
    void togglePopover();
    // `glimra` run again, from a terminal or the application menu: a toggle like the icon's,
    // except that with no tray to show the icon in it always opens, being the only way in.
    void openFromLauncher();
    void closePopover();
    void setPinned(bool pinned);
    bool isPinned() const { return m_isPinned; }

    ScreenshotManager* screenshotManager() const { return m_screenshotManager; }
    AuthManager* authManager() const { return m_authManager; }
    SyncEngine* syncEngine() const { return m_syncEngine; }
    TextManager* textManager() const { return m_textManager; }
    WindowTilingManager* windowTilingManager() const { return m_windowTilingManager.get(); }
    HotkeySettings* hotkeySettings() const { return m_hotkeySettings; }
    HotkeyManager* hotkeyManager() const { return m_hotkeyManager; }
    ShortcutRecorder* shortcutRecorder() const { return m_shortcutRecorder; }
    FinderCutManager* finderCutManager() const { return m_finderCutManager; }
    editor::EditorLauncher* editorLauncher() const { return m_editorLauncher; }
    // The tray icon; null until launch.
    QSystemTrayIcon* statusItem() const { return m_statusItem; }

    // What a save of the shortcut settings does. The cut switch goes first: while the cut is
    // on its keys are refused to shortcuts, so turning it off must free them before the
    // shortcuts are registered again.
    static void applyHotkeySettings(const HotkeySettings& settings, FinderCutManager& cut,
                                    HotkeyManager& hotkeys);

    // The commands a second `glimra` sends to this instance (see RemoteCommands.h).
    void registerRemoteCommands(RemoteControl* remote);

private:
    void showPopover();
    void onGlobalMousePress(QPoint position);
    void onFocusWindowChanged(QWindow* focus);
    // Closes the transient popover because the user went elsewhere.
    void dismissPopover();

    PlatformServices m_services;
    std::unique_ptr<QSettings> m_settingsStore;
    ScreenshotManager* m_screenshotManager;
    AuthManager* m_authManager;
    SyncEngine* m_syncEngine;
    TextManager* m_textManager;
    HotkeySettings* m_hotkeySettings;
    std::unique_ptr<WindowTilingManager> m_windowTilingManager;
    HotkeyManager* m_hotkeyManager;
    ShortcutRecorder* m_shortcutRecorder;
    FinderCutManager* m_finderCutManager;
    editor::EditorLauncher* m_editorLauncher;
    QSystemTrayIcon* m_statusItem = nullptr;
    QMenu* m_trayMenu = nullptr;
    QPointer<PopoverWindow> m_popover;
    bool m_isPinned = false;
    bool m_monitorActive = false;
    bool m_launched = false;
    bool m_terminated = false;
    QElapsedTimer m_clock;
    PopoverDismissal m_dismissal;
};

// The one running delegate, set first at launch and cleared last at teardown, so that events
// arriving after teardown (a global shortcut's, say) find nobody to act on.
AppDelegate* appDelegateInstance();

} // namespace glimra
