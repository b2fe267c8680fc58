// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QSet>
#include <QString>

#include <functional>
#include <optional>

namespace glimra {

class GlobalKeyGrabber;
class HotkeySettings;

// Registers the eleven shortcuts desktop-wide and turns each press into its action, run
// from the event loop rather than inside the X event that reported it.
class HotkeyManager final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HotkeyManager)
public:
    HotkeyManager(HotkeySettings& settings, GlobalKeyGrabber& grabber, QObject* parent = nullptr);

    void registerHotkeys();
    // Refused silently (the others still work); refusalReason tells why.
    void registerHotkey(quint32 keyCode, quint32 modifiers, int id);
    void unregisterAllHotkeys();
    void reregisterHotkeys();
    bool isRegistered(int id) const;
    // What the user is told about a shortcut that holds no keys: which of our own rows or
    // the file-manager cut holds them, a key we or the keyboard lack, or another program.
    // Nothing when it holds them, or where the session gives no program desktop-wide keys.
    std::optional<QString> refusalReason(int id) const;
    // How a registered shortcut's keys are held ("x11"); empty when it holds none.
    QString via(int id) const;
    // The keys the desktop bound a shortcut to, where the desktop chooses (the portal).
    QString boundKeys(int id) const;
    // False in a session that lets no program take desktop-wide keys (Wayland without a
    // shortcuts portal), where every registration is refused without another program being
    // to blame and the user binds the command in the desktop's own settings instead.
    bool isAvailable() const;
    // Where no program may move another's windows, the tiling shortcuts are not asked for:
    // a desktop may offer them to the user, who would then bind keys that do nothing.
    void setTilingAvailable(bool available) { m_tilingAvailable = available; }
    // Whether the session lets this program replace another's key presses (the file-manager
    // cut needs it).
    bool canInterceptKeys() const;

    // Ids 1..3 go to onCapture with the id; ids 4..11 go to onTile with the position index
    // 0..7 (left half, right half, top left, top right, bottom left, bottom right, centre,
    // maximise).
    std::function<void(int id)> onCapture;
    std::function<void(int position)> onTile;

    // What a press of the shortcut with this id does; an unknown id does nothing.
    void dispatch(int id);

Q_SIGNALS:
    // A registration was made, refused, dropped, or lost its keys to another program.
    void registrationsChanged();

private:
    // For a shortcut the desktop must bind: the command its keys should run.
    static QString desktopSettingsHint(int id);

    HotkeySettings& m_settings;
    GlobalKeyGrabber& m_grabber;
    QSet<int> m_unknownKeys; // ids whose stored key is outside the key table
    bool m_tilingAvailable = true;
};

} // namespace glimra
