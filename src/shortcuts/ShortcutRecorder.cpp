// SPDX-License-Identifier: GPL-3.0-or-later
#include "shortcuts/ShortcutRecorder.h"

#include "platform/GlobalKeyGrabber.h"
#include "shortcuts/HotkeySettings.h"

#include <QCoreApplication>
#include <QKeyEvent>

namespace glimra {

ShortcutRecorder::ShortcutRecorder(HotkeySettings& settings, GlobalKeyGrabber* grabber,
                                   QObject* parent)
    : QObject(parent), m_settings(settings), m_grabber(grabber)
{}

ShortcutRecorder::~ShortcutRecorder()
{
    stopRecording();
}

void ShortcutRecorder::startRecording(const QString& rowId)
{
    stopRecording();
    m_recordingFor = rowId;
    if (auto* app = QCoreApplication::instance()) {
        app->installEventFilter(this);
        m_monitoring = true;
    }
    if (m_grabber)
        m_grabber->suspend();
    Q_EMIT recordingForChanged();
}

void ShortcutRecorder::stopRecording()
{
    const bool wasRecording = m_recordingFor.has_value();
    m_recordingFor.reset();
    if (m_monitoring) {
        if (auto* app = QCoreApplication::instance())
            app->removeEventFilter(this);
        m_monitoring = false;
    }
    if (wasRecording) {
        if (m_grabber)
            m_grabber->resume();
        Q_EMIT recordingForChanged();
    }
}

std::optional<std::pair<quint32, quint32>>
ShortcutRecorder::translate(quint32 keysymAtLevel0, Qt::KeyboardModifiers modifiers)
{
    const quint32 mask = fromQtModifiers(modifiers);
    if (mask == 0)
        return std::nullopt;
    const auto keyCode = keyCodeForKeysym(keysymAtLevel0);
    if (!keyCode)
        return std::nullopt;
    return std::pair{*keyCode, mask};
}

bool ShortcutRecorder::handleKeyPress(quint32 keysymAtLevel0, Qt::KeyboardModifiers modifiers)
{
    if (!m_recordingFor)
        return false;
    const auto key = translate(keysymAtLevel0, modifiers);
    if (!key)
        return false;
    const QString rowId = *m_recordingFor;
    if (const HotkeyAction* action = hotkeyActionForRow(rowId))
        m_settings.setBinding(action->id, HotkeyBinding{key->first, key->second, rowId});
    // Our keys are taken back before the new set is registered, so the registration sees
    // whether another program holds the new combination.
    stopRecording();
    m_settings.save();
    return true;
}

bool ShortcutRecorder::eventFilter(QObject* watched, QEvent* event)
{
    // A key press reaches the window first and then its focus widget; judge it once.
    if (event->type() != QEvent::KeyPress || !watched->isWindowType())
        return false;
    auto* key = static_cast<QKeyEvent*>(event);
    quint32 keysym = m_grabber ? m_grabber->keysymAtLevel0(key->nativeScanCode()) : 0;
    if (keysym == 0)
        keysym = key->nativeVirtualKey();
    return handleKeyPress(keysym, key->modifiers());
}

} // namespace glimra
