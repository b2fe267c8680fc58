// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "shortcuts/HotkeyBinding.h"

#include <QObject>

#include <array>
#include <functional>

class QSettings;

namespace glimra {

// The eleven actions with a shortcut. The numbers are fixed: they identify a registration.
struct HotkeyAction {
    int id;                 // 1..11
    const char* storageKey; // member name in the stored object
    const char* rowId;      // what the recorder writes as the label
    HotkeyBinding factory;
    const char* title;   // the row's name, translated in the "Shortcuts" context
    const char* command; // what follows `glimra` to do the same from a desktop's own shortcut
};

inline constexpr int kHotkeyCount = 11;
const std::array<HotkeyAction, kHotkeyCount>& hotkeyActions();
// The action of a recorder row id; nullptr for an unknown row.
const HotkeyAction* hotkeyActionForRow(const QString& rowId);
// The translated title of the action with this id; empty for an unknown id.
QString hotkeyTitle(int id);

// The shortcut bindings and the file-manager cut switch, kept in the settings file.
class HotkeySettings final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HotkeySettings)
    Q_PROPERTY(bool finderCutEnabled READ finderCutEnabled WRITE setFinderCutEnabled NOTIFY
                   finderCutEnabledChanged)
public:
    // Loads at once; the store must outlive this object.
    explicit HotkeySettings(QSettings& store, QObject* parent = nullptr);

    // id 1..11; anything else gives an empty binding and is ignored on assignment.
    HotkeyBinding binding(int id) const;
    void setBinding(int id, const HotkeyBinding& binding);
    bool finderCutEnabled() const { return m_finderCutEnabled; }
    void setFinderCutEnabled(bool enabled);

    // Assignments are kept in memory only until this writes them.
    void save();
    void resetToDefaults();

    // Called at the end of every save, so new bindings take effect at once.
    std::function<void()> onHotkeysChanged;

Q_SIGNALS:
    void bindingChanged(int id);
    void finderCutEnabledChanged(bool enabled);

private:
    void load();
    bool loadCurrentForm();
    void migrateOlderForm();

    QSettings& m_store;
    std::array<HotkeyBinding, kHotkeyCount> m_bindings;
    bool m_finderCutEnabled = true;
};

} // namespace glimra
