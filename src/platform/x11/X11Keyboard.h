// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <Qt>

#include <cstdint>
#include <optional>
#include <vector>

struct xcb_connection_t;

namespace glimra {

// The server's keyboard and modifier mapping, read once and read again after every change.
class X11Keyboard {
public:
    explicit X11Keyboard(xcb_connection_t* connection);
    void reload();

    // Key codes that give the keysym unshifted; where none does, the ones that give it at
    // all, so a symbol the layout keeps on a shifted level is still reachable.
    std::vector<uint8_t> keycodesFor(uint32_t keysym) const;
    uint32_t keysymAtLevel0(uint32_t keycode) const;

    // The core modifier mask for Qt's modifiers; nothing when Alt or Super is not mapped.
    std::optional<uint16_t> maskFor(Qt::KeyboardModifiers modifiers) const;
    // Masks whose state must not matter for a combination (Caps Lock and Num Lock), each
    // present only when the keyboard maps the key.
    std::vector<uint16_t> lockVariants() const;
    // Shift, Control and Mod1..Mod5, without the lock modifiers.
    uint16_t significantMask() const;
    // Key codes of every modifier key that counts for a combination.
    std::vector<uint8_t> modifierKeycodes() const;

private:
    uint16_t modifierHolding(uint32_t keysym) const;

    xcb_connection_t* m_c;
    uint8_t m_minKeycode = 8;
    uint8_t m_perKeycode = 0;
    std::vector<uint32_t> m_keysyms;
    uint8_t m_perModifier = 0;
    std::vector<uint8_t> m_modifierMap; // 8 rows of m_perModifier key codes
};

} // namespace glimra
