#include "ui/SettingsView.h"

#include "library/ScreenshotManager.h"
#include "shortcuts/HotkeyManager.h"
#include "shortcuts/HotkeySettings.h"
#include "shortcuts/ShortcutRecorder.h"

namespace glimra {

SettingsView::SettingsView(HotkeySettings* hotkeySettings, ShortcutRecorder* recorder,
                           HotkeyManager* hotkeyManager, ScreenshotManager* screenshotManager,
                           QWidget* parent)
    : QWidget(parent), m_hotkeySettings(hotkeySettings), m_recorder(recorder),
      m_hotkeyManager(hotkeyManager), m_screenshotManager(screenshotManager)
{}

} // namespace glimra
