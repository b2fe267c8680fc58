// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/x11/X11KeySend.h"

#include "platform/x11/X11Keyboard.h"

#include <cstdlib>
#include <utility>
#include <vector>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

namespace glimra {

namespace {

void fake(xcb_connection_t* c, uint8_t type, uint8_t code)
{
    xcb_test_fake_input(c, type, code, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
}

} // namespace

void sendCombination(xcb_connection_t* c, const X11Keyboard& keyboard, uint32_t keysym,
                     Qt::KeyboardModifiers modifiers)
{
    const auto codes = keyboard.keycodesFor(keysym);
    if (codes.empty())
        return;
    // The reply also guarantees that the events the frozen keyboard queued have been
    // played, so this is the state the user has now.
    auto* keymap = xcb_query_keymap_reply(c, xcb_query_keymap(c), nullptr);
    const auto isDown = [keymap](uint8_t code) {
        return keymap && (keymap->keys[code / 8] & (1u << (code % 8)));
    };
    std::vector<uint8_t> held;
    for (uint8_t code : keyboard.modifierKeycodes()) {
        if (isDown(code))
            held.push_back(code);
    }
    // The user's own press of the key is still down; a second press of a key that is
    // down would be dropped.
    const bool keyDown = isDown(codes.front());
    std::free(keymap);
    std::vector<uint8_t> extra;
    const std::pair<Qt::KeyboardModifier, uint32_t> keys[] = {{Qt::ControlModifier, 0xffe3},
                                                              {Qt::ShiftModifier, 0xffe1},
                                                              {Qt::AltModifier, 0xffe9},
                                                              {Qt::MetaModifier, 0xffeb}};
    for (const auto& [flag, modifierKeysym] : keys) {
        const auto found = keyboard.keycodesFor(modifierKeysym);
        if ((modifiers & flag) && !found.empty())
            extra.push_back(found.front());
    }
    for (uint8_t code : held)
        fake(c, XCB_KEY_RELEASE, code);
    if (keyDown)
        fake(c, XCB_KEY_RELEASE, codes.front());
    for (uint8_t code : extra)
        fake(c, XCB_KEY_PRESS, code);
    fake(c, XCB_KEY_PRESS, codes.front());
    fake(c, XCB_KEY_RELEASE, codes.front());
    for (auto it = extra.rbegin(); it != extra.rend(); ++it)
        fake(c, XCB_KEY_RELEASE, *it);
    for (uint8_t code : held)
        fake(c, XCB_KEY_PRESS, code);
    xcb_flush(c);
}

} // namespace glimra
