#pragma once

#include <QWidget>

namespace glimra {

class HotkeyManager;
class HotkeySettings;
class ScreenshotManager;
class ShortcutRecorder;

// The settings popover: shortcuts, the file-manager cut, format, folder, start at login, quit.
class SettingsView final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SettingsView)
public:
    // hotkeyManager may be null (no global shortcuts in this session); it only tells which
    // registrations another program refused.
    SettingsView(HotkeySettings* hotkeySettings, ShortcutRecorder* recorder,
                 HotkeyManager* hotkeyManager, ScreenshotManager* screenshotManager,
                 QWidget* parent = nullptr);

Q_SIGNALS:
    // "Quit Glimra": the application shell ends the application.
    void quitRequested();

private:
    HotkeySettings* m_hotkeySettings;
    ShortcutRecorder* m_recorder;
    HotkeyManager* m_hotkeyManager;
    ScreenshotManager* m_screenshotManager;
};

} // namespace glimra
