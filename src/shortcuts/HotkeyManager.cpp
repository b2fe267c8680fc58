// SPDX-License-Identifier: GPL-3.0-or-later
#include "shortcuts/HotkeyManager.h"

#include "platform/GlobalKeyGrabber.h"
#include "shortcuts/HotkeySettings.h"

namespace glimra {

namespace {

bool isTile(int id)
{
    return id >= 4 && id <= kHotkeyCount;
}

} // namespace

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
        if (isTile(action.id) && !m_tilingAvailable)
            continue;
        const HotkeyBinding binding = m_settings.binding(action.id);
        registerHotkey(binding.keyCode, binding.modifiers, action.id);
    }
}

void HotkeyManager::registerHotkey(quint32 keyCode, quint32 modifiers, int id)
{
    m_unknownKeys.remove(id);
    m_grabber.describe(id, hotkeyTitle(id));
    if (const auto keysym = keysymForKeyCode(keyCode))
        m_grabber.grab(*keysym, toQtModifiers(modifiers), id);
    else
        m_unknownKeys.insert(id);
    Q_EMIT registrationsChanged();
}

void HotkeyManager::unregisterAllHotkeys()
{
    m_grabber.ungrabAll();
    m_unknownKeys.clear();
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

std::optional<QString> HotkeyManager::refusalReason(int id) const
{
    if (id < 1 || id > kHotkeyCount)
        return std::nullopt;
    if (isTile(id) && !m_tilingAvailable)
        return tr("Window tiling is not available on this desktop");
    if (!m_grabber.isAvailable())
        return desktopSettingsHint(id);
    if (isRegistered(id))
        return std::nullopt;
    if (m_unknownKeys.contains(id))
        return tr("Not a key Glimra knows");
    const GlobalKeyGrabber::Refusal refusal = m_grabber.refusal(id);
    switch (refusal.cause) {
    case GlobalKeyGrabber::Refusal::Cause::Shortcut:
        return tr("Used by %1").arg(hotkeyTitle(refusal.holder));
    case GlobalKeyGrabber::Refusal::Cause::Intercept:
        // The file-manager cut is the only feature that intercepts keys.
        return tr("Used by File Manager Cut");
    case GlobalKeyGrabber::Refusal::Cause::NoSuchKey:
        return tr("Not a key this keyboard has");
    case GlobalKeyGrabber::Refusal::Cause::Desktop:
        return desktopSettingsHint(id);
    case GlobalKeyGrabber::Refusal::Cause::Pending:
        return tr("Waiting for the desktop's answer");
    case GlobalKeyGrabber::Refusal::Cause::HeldElsewhere:
    case GlobalKeyGrabber::Refusal::Cause::None:
        break;
    }
    return tr("In use by another program");
}

QString HotkeyManager::via(int id) const
{
    return isRegistered(id) ? m_grabber.via() : QString();
}

QString HotkeyManager::boundKeys(int id) const
{
    return m_grabber.boundKeys(id);
}

bool HotkeyManager::isAvailable() const
{
    return m_grabber.isAvailable();
}

bool HotkeyManager::canInterceptKeys() const
{
    return m_grabber.canIntercept();
}

QString HotkeyManager::desktopSettingsHint(int id)
{
    return tr("Set this shortcut in your desktop's keyboard settings: glimra %1")
        .arg(QLatin1String(hotkeyActions()[size_t(id - 1)].command));
}

void HotkeyManager::dispatch(int id)
{
    if (id >= 1 && id <= 3) {
        if (onCapture)
            onCapture(id);
    } else if (isTile(id)) {
        if (onTile)
            onTile(id - 4);
    }
}

} // namespace glimra
