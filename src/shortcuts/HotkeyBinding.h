// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <Qt>

#include <optional>

namespace glimra {

// Modifier bits as stored with a binding. They are the portable encoding the settings file
// has always used, so stored shortcuts survive any change of keyboard or platform.
namespace HotkeyModifier {
inline constexpr quint32 Command = 0x0100; // Super on Linux
inline constexpr quint32 Shift = 0x0200;
inline constexpr quint32 Option = 0x0800; // Alt on Linux
inline constexpr quint32 Control = 0x1000;
inline constexpr quint32 All = Command | Shift | Option | Control;
} // namespace HotkeyModifier

struct HotkeyBinding {
    quint32 keyCode = 0;
    quint32 modifiers = 0;
    QString label;

    // The one text every view shows for a shortcut, e.g. "Shift+Super+3".
    QString displayString() const;
    friend bool operator==(const HotkeyBinding&, const HotkeyBinding&) = default;
};

// Display text of a portable key code; "?" for a key outside the table.
QString keyCodeToString(quint32 keyCode);

// The X keysym a portable key code stands for (the unshifted symbol of its key).
std::optional<quint32> keysymForKeyCode(quint32 keyCode);
// The portable key code of an unshifted keysym; letters may come in either case.
std::optional<quint32> keyCodeForKeysym(quint32 keysym);

Qt::KeyboardModifiers toQtModifiers(quint32 modifiers);
// Keeps only Ctrl, Alt, Shift and Super (Qt's Meta); lock and keypad states are dropped.
quint32 fromQtModifiers(Qt::KeyboardModifiers modifiers);

} // namespace glimra
