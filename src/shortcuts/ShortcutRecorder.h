// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>
#include <Qt>

#include <optional>
#include <utility>

namespace glimra {

class GlobalKeyGrabber;
class HotkeySettings;

// Records a new shortcut for one settings row from the next key press typed into one of
// our own windows. While it records, the application's desktop-wide keys are let go, so a
// combination we already hold reaches the recorder instead of firing.
class ShortcutRecorder final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ShortcutRecorder)
public:
    ShortcutRecorder(HotkeySettings& settings, GlobalKeyGrabber* grabber,
                     QObject* parent = nullptr);
    ~ShortcutRecorder() override;

    void startRecording(const QString& rowId);
    void stopRecording();
    const std::optional<QString>& recordingFor() const { return m_recordingFor; }

    // Key code and stored modifier mask for a press, judged by the key's unshifted symbol
    // (Shift+6 is "6", not "^"); nothing when the press cannot be a shortcut.
    static std::optional<std::pair<quint32, quint32>> translate(quint32 keysymAtLevel0,
                                                                Qt::KeyboardModifiers modifiers);

    // One key press while recording; true when it was taken as the new shortcut (and must
    // not reach the window it was typed into).
    bool handleKeyPress(quint32 keysymAtLevel0, Qt::KeyboardModifiers modifiers);

Q_SIGNALS:
    void recordingForChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    HotkeySettings& m_settings;
    GlobalKeyGrabber* m_grabber;
    std::optional<QString> m_recordingFor;
    bool m_monitoring = false;
};

} // namespace glimra
