#include "shortcuts/HotkeyManager.h"

#include "platform/GlobalKeyGrabber.h"
#include "shortcuts/HotkeySettings.h"

namespace glimra {

HotkeyManager::HotkeyManager(HotkeySettings& settings, GlobalKeyGrabber& grabber, QObject* parent)
    : QObject(parent), m_settings(settings), m_grabber(grabber)
{
    // Queued, so an action (a capture that grabs the pointer, a window move) never runs
    // inside the X event handling that reported the press.
    connect(&m_grabber, &GlobalKeyGrabber::pressed, this, &HotkeyManager::dispatch,
            Qt::QueuedConnection);
    connect(&m_grabber, &GlobalKeyGrabber::grabsChanged, this,
            &HotkeyManager::registrationsChanged);
}

void HotkeyManager::registerHotkeys()
{
    for (const HotkeyAction& action : hotkeyActions()) {
        const HotkeyBinding binding = m_settings.binding(action.id);
        registerHotkey(binding.keyCode, binding.modifiers, action.id);
    }
}

void HotkeyManager::registerHotkey(quint32 keyCode, quint32 modifiers, int id)
{
    if (const auto keysym = keysymForKeyCode(keyCode))
        m_grabber.grab(*keysym, toQtModifiers(modifiers), id);
    Q_EMIT registrationsChanged();
}

void HotkeyManager::unregisterAllHotkeys()
{
    m_grabber.ungrabAll();
    Q_EMIT registrationsChanged();
}

void HotkeyManager::reregisterHotkeys()
{
    unregisterAllHotkeys();
    registerHotkeys();
}

bool HotkeyManager::isRegistered(int id) const
{
    return m_grabber.isGrabbed(id);
}

bool HotkeyManager::isAvailable() const
{
    return m_grabber.isAvailable();
}

void HotkeyManager::dispatch(int id)
{
    if (id >= 1 && id <= 3) {
        if (onCapture)
            onCapture(id);
    } else if (id >= 4 && id <= kHotkeyCount) {
        if (onTile)
            onTile(id - 4);
    }
}

} // namespace glimra
