// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/x11/X11Keyboard.h"

#include <cstdlib>
#include <xcb/xcb.h>

namespace glimra {

namespace {

constexpr uint32_t kNumLock = 0xff7f, kCapsLock = 0xffe5;
constexpr uint32_t kAltL = 0xffe9, kAltR = 0xffea, kMetaL = 0xffe7;
constexpr uint32_t kSuperL = 0xffeb, kSuperR = 0xffec;

} // namespace

X11Keyboard::X11Keyboard(xcb_connection_t* connection) : m_c(connection)
{
    reload();
}

void X11Keyboard::reload()
{
    const xcb_setup_t* setup = xcb_get_setup(m_c);
    m_minKeycode = setup->min_keycode;
    const uint8_t count = static_cast<uint8_t>(setup->max_keycode - setup->min_keycode + 1);
    auto* map = xcb_get_keyboard_mapping_reply(
        m_c, xcb_get_keyboard_mapping(m_c, setup->min_keycode, count), nullptr);
    m_keysyms.clear();
    m_perKeycode = 0;
    if (map) {
        const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(map);
        m_keysyms.assign(syms, syms + xcb_get_keyboard_mapping_keysyms_length(map));
        m_perKeycode = map->keysyms_per_keycode;
        std::free(map);
    }
    auto* mods = xcb_get_modifier_mapping_reply(m_c, xcb_get_modifier_mapping(m_c), nullptr);
    m_modifierMap.clear();
    m_perModifier = 0;
    if (mods) {
        const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(mods);
        m_modifierMap.assign(codes, codes + xcb_get_modifier_mapping_keycodes_length(mods));
        m_perModifier = mods->keycodes_per_modifier;
        std::free(mods);
    }
}

std::vector<uint8_t> X11Keyboard::keycodesFor(uint32_t keysym) const
{
    std::vector<uint8_t> unshifted, anyLevel;
    if (m_perKeycode == 0)
        return {};
    const size_t keys = m_keysyms.size() / m_perKeycode;
    for (size_t k = 0; k < keys; ++k) {
        const uint8_t code = static_cast<uint8_t>(m_minKeycode + k);
        for (size_t level = 0; level < std::min<size_t>(m_perKeycode, 2); ++level) {
            if (m_keysyms[k * m_perKeycode + level] != keysym)
                continue;
            (level == 0 ? unshifted : anyLevel).push_back(code);
            break;
        }
    }
    return unshifted.empty() ? anyLevel : unshifted;
}

uint32_t X11Keyboard::keysymAtLevel0(uint32_t keycode) const
{
    if (m_perKeycode == 0 || keycode < m_minKeycode)
        return 0;
    const size_t index = (keycode - m_minKeycode) * m_perKeycode;
    return index < m_keysyms.size() ? m_keysyms[index] : 0;
}

uint16_t X11Keyboard::modifierHolding(uint32_t keysym) const
{
    for (size_t row = 0; row < 8 && m_perModifier; ++row) {
        for (size_t i = 0; i < m_perModifier; ++i) {
            const uint8_t code = m_modifierMap[row * m_perModifier + i];
            if (code && keysymAtLevel0(code) == keysym)
                return static_cast<uint16_t>(1u << row);
        }
    }
    return 0;
}

std::optional<uint16_t> X11Keyboard::maskFor(Qt::KeyboardModifiers modifiers) const
{
    uint16_t mask = 0;
    if (modifiers & Qt::ShiftModifier)
        mask |= XCB_MOD_MASK_SHIFT;
    if (modifiers & Qt::ControlModifier)
        mask |= XCB_MOD_MASK_CONTROL;
    if (modifiers & Qt::AltModifier) {
        uint16_t alt = modifierHolding(kAltL);
        if (!alt)
            alt = modifierHolding(kAltR) | modifierHolding(kMetaL);
        if (!alt)
            return std::nullopt;
        mask |= alt;
    }
    if (modifiers & Qt::MetaModifier) {
        const uint16_t super = modifierHolding(kSuperL) | modifierHolding(kSuperR);
        if (!super)
            return std::nullopt;
        mask |= super;
    }
    return mask;
}

std::vector<uint16_t> X11Keyboard::lockVariants() const
{
    std::vector<uint16_t> locks;
    if (modifierHolding(kCapsLock) == XCB_MOD_MASK_LOCK)
        locks.push_back(XCB_MOD_MASK_LOCK);
    if (const uint16_t num = modifierHolding(kNumLock))
        locks.push_back(num);
    std::vector<uint16_t> variants{0};
    for (uint16_t lock : locks) {
        const size_t n = variants.size();
        for (size_t i = 0; i < n; ++i)
            variants.push_back(variants[i] | lock);
    }
    return variants;
}

uint16_t X11Keyboard::significantMask() const
{
    uint16_t mask = XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_2 |
                    XCB_MOD_MASK_3 | XCB_MOD_MASK_4 | XCB_MOD_MASK_5;
    return static_cast<uint16_t>(mask & ~modifierHolding(kNumLock));
}

std::vector<uint8_t> X11Keyboard::modifierKeycodes() const
{
    const uint16_t significant = significantMask();
    std::vector<uint8_t> codes;
    for (size_t row = 0; row < 8 && m_perModifier; ++row) {
        if (!(significant & (1u << row)))
            continue;
        for (size_t i = 0; i < m_perModifier; ++i) {
            if (const uint8_t code = m_modifierMap[row * m_perModifier + i])
                codes.push_back(code);
        }
    }
    return codes;
}

} // namespace glimra
