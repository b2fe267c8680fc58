// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/x11/X11KeyGrabber.h"

#include "platform/x11/X11KeySend.h"
#include "platform/x11/X11Keyboard.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QTimer>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <xcb/xcb.h>
// The XKB header names a structure member "explicit", which C++ reserves.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit

namespace glimra {

namespace {

enum class Kind { Shortcut, Intercept };

struct Entry {
    Kind kind;
    int id;
    GlobalKeyGrabber::Combination combination;
    bool accepted = false;
    std::vector<std::pair<uint8_t, uint16_t>> held; // key code, modifier mask
    GlobalKeyGrabber::Refusal refusal;
};

using Cause = GlobalKeyGrabber::Refusal::Cause;

bool sameCombination(const GlobalKeyGrabber::Combination& a, const GlobalKeyGrabber::Combination& b)
{
    return a.keysym == b.keysym && a.modifiers == b.modifiers;
}

// A repeat comes well within this of the press before it; a longer gap means the release
// went to another client (one that grabbed the keyboard meanwhile) and this is a new press.
constexpr uint32_t kRepeatGapMs = 1500;

} // namespace

struct X11KeyGrabber::Private {
    explicit Private(X11KeyGrabber* owner) : q(owner) {}
    X11KeyGrabber* q;
    xcb_connection_t* c = nullptr;
    xcb_window_t root = 0;
    uint8_t xkbEventBase = 0;
    std::unique_ptr<X11Keyboard> keyboard;
    std::vector<Entry> entries;
    std::map<uint8_t, uint32_t> down; // key code -> time of its last press
    InterceptHandler handler;
    bool suspended = false;
    QTimer remapTimer;

    bool take(Entry& entry)
    {
        const auto mask = keyboard->maskFor(entry.combination.modifiers);
        const auto codes = keyboard->keycodesFor(entry.combination.keysym);
        if (!mask || codes.empty()) {
            entry.refusal = {Cause::NoSuchKey, 0};
            return false;
        }
        const uint8_t mode =
            entry.kind == Kind::Intercept ? XCB_GRAB_MODE_SYNC : XCB_GRAB_MODE_ASYNC;
        std::vector<std::pair<std::pair<uint8_t, uint16_t>, xcb_void_cookie_t>> sent;
        for (uint8_t code : codes) {
            for (uint16_t lock : keyboard->lockVariants()) {
                const uint16_t full = *mask | lock;
                sent.push_back(
                    {{code, full},
                     xcb_grab_key_checked(c, 0, root, full, code, XCB_GRAB_MODE_ASYNC, mode)});
            }
        }
        bool refused = false;
        for (auto& [grabbed, cookie] : sent) {
            if (xcb_generic_error_t* error = xcb_request_check(c, cookie)) {
                refused = true;
                std::free(error);
            } else {
                entry.held.push_back(grabbed);
            }
        }
        if (refused)
            release(entry);
        entry.refusal = {refused ? Cause::HeldElsewhere : Cause::None, 0};
        return !refused;
    }

    void release(Entry& entry)
    {
        for (const auto& [code, mask] : entry.held)
            xcb_ungrab_key(c, code, root, mask);
        entry.held.clear();
        xcb_flush(c);
    }

    template <typename Which> void drop(Which which)
    {
        for (Entry& entry : entries) {
            if (which(entry))
                release(entry);
        }
        std::erase_if(entries, which);
    }

    // Takes the keys unless one of our own holds them already.
    void admit(Entry& entry)
    {
        for (const Entry& e : entries) {
            if (e.accepted && sameCombination(e.combination, entry.combination)) {
                entry.refusal = {e.kind == Kind::Shortcut ? Cause::Shortcut : Cause::Intercept,
                                 e.id};
                return;
            }
        }
        entry.accepted = suspended || take(entry);
    }

    // Takes every accepted combination again; reports shortcuts that lost their keys.
    void retakeAll()
    {
        bool changed = false;
        for (Entry& entry : entries) {
            release(entry);
            if (!entry.accepted || suspended)
                continue;
            if (!take(entry)) {
                entry.accepted = false;
                changed = changed || entry.kind == Kind::Shortcut;
            }
        }
        xcb_flush(c);
        if (changed)
            Q_EMIT q->grabsChanged();
    }

    Entry* match(const xcb_key_press_event_t* event)
    {
        const uint16_t state = event->state & keyboard->significantMask();
        for (Entry& entry : entries) {
            for (const auto& [code, mask] : entry.held) {
                if (code == event->detail && (mask & keyboard->significantMask()) == state)
                    return &entry;
            }
        }
        return nullptr;
    }

    void answerIntercept(const Entry& entry, const xcb_key_press_event_t* event)
    {
        const std::optional<Combination> replacement = handler ? handler(entry.id) : std::nullopt;
        if (!replacement) {
            xcb_allow_events(c, XCB_ALLOW_REPLAY_KEYBOARD, event->time);
            xcb_flush(c);
            return;
        }
        // Thaw without passing the press on, and end the grab the press started so that the
        // replacement goes to the focused window rather than back to us.
        xcb_allow_events(c, XCB_ALLOW_ASYNC_KEYBOARD, event->time);
        xcb_ungrab_keyboard(c, XCB_CURRENT_TIME);
        sendCombination(c, *keyboard, replacement->keysym, replacement->modifiers);
    }
};

X11KeyGrabber::X11KeyGrabber(QObject* parent)
    : GlobalKeyGrabber(parent), d(std::make_unique<Private>(this))
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection())
        return;
    d->c = x11->connection();
    d->root = xcb_setup_roots_iterator(xcb_get_setup(d->c)).data->root;
    d->keyboard = std::make_unique<X11Keyboard>(d->c);
    if (const auto* xkb = xcb_get_extension_data(d->c, &xcb_xkb_id); xkb && xkb->present) {
        d->xkbEventBase = xkb->first_event;
        // Held keys then repeat as presses without releases in between, which tells a
        // repeat from a new press.
        const uint32_t flag = XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT;
        std::free(xcb_xkb_per_client_flags_reply(
            d->c, xcb_xkb_per_client_flags(d->c, XCB_XKB_ID_USE_CORE_KBD, flag, flag, 0, 0, 0),
            nullptr));
    }
    d->remapTimer.setSingleShot(true);
    d->remapTimer.setInterval(50);
    connect(&d->remapTimer, &QTimer::timeout, this, [this] {
        d->keyboard->reload();
        d->down.clear();
        d->retakeAll();
    });
    QCoreApplication::instance()->installNativeEventFilter(this);
}

X11KeyGrabber::~X11KeyGrabber()
{
    if (!d->c)
        return;
    QCoreApplication::instance()->removeNativeEventFilter(this);
    for (Entry& entry : d->entries)
        d->release(entry);
}

bool X11KeyGrabber::isAvailable() const
{
    return d->c != nullptr;
}

bool X11KeyGrabber::grab(quint32 keysym, Qt::KeyboardModifiers modifiers, int id)
{
    if (!d->c)
        return false;
    Entry entry{Kind::Shortcut, id, {keysym, modifiers}, false, {}, {}};
    d->admit(entry);
    d->entries.push_back(entry);
    return entry.accepted;
}

void X11KeyGrabber::ungrabAll()
{
    d->drop([](const Entry& e) { return e.kind == Kind::Shortcut; });
}

void X11KeyGrabber::ungrab(int id)
{
    d->drop([id](const Entry& e) { return e.kind == Kind::Shortcut && e.id == id; });
}

bool X11KeyGrabber::isGrabbed(int id) const
{
    return std::any_of(d->entries.begin(), d->entries.end(), [id](const Entry& e) {
        return e.kind == Kind::Shortcut && e.id == id && e.accepted;
    });
}

GlobalKeyGrabber::Refusal X11KeyGrabber::refusal(int id) const
{
    for (const Entry& entry : d->entries) {
        if (entry.kind == Kind::Shortcut && entry.id == id)
            return entry.accepted ? Refusal{} : entry.refusal;
    }
    return {};
}

QString X11KeyGrabber::via() const
{
    return d->c ? QStringLiteral("x11") : QString();
}

bool X11KeyGrabber::intercept(quint32 keysym, Qt::KeyboardModifiers modifiers, int id)
{
    if (!d->c)
        return false;
    Entry entry{Kind::Intercept, id, {keysym, modifiers}, false, {}, {}};
    bool evicted = false;
    for (Entry& other : d->entries) {
        if (other.kind == Kind::Shortcut && other.accepted &&
            sameCombination(other.combination, entry.combination)) {
            d->release(other);
            other.accepted = false;
            other.refusal = {Cause::Intercept, id};
            evicted = true;
        }
    }
    d->admit(entry);
    d->entries.push_back(entry);
    if (evicted)
        Q_EMIT grabsChanged();
    return entry.accepted;
}

void X11KeyGrabber::releaseIntercepts()
{
    d->drop([](const Entry& e) { return e.kind == Kind::Intercept; });
}

void X11KeyGrabber::setInterceptHandler(InterceptHandler handler)
{
    d->handler = std::move(handler);
}

void X11KeyGrabber::suspend()
{
    if (!d->c || d->suspended)
        return;
    d->suspended = true;
    for (Entry& entry : d->entries)
        d->release(entry);
}

void X11KeyGrabber::resume()
{
    if (!d->c || !d->suspended)
        return;
    d->suspended = false;
    d->retakeAll();
}

quint32 X11KeyGrabber::keysymAtLevel0(quint32 nativeKeyCode) const
{
    return d->keyboard ? d->keyboard->keysymAtLevel0(nativeKeyCode) : 0;
}

bool X11KeyGrabber::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (eventType != "xcb_generic_event_t")
        return false;
    auto* event = static_cast<xcb_generic_event_t*>(message);
    const uint8_t type = event->response_type & 0x7f;
    if (type == XCB_KEY_PRESS || type == XCB_KEY_RELEASE) {
        auto* key = reinterpret_cast<xcb_key_press_event_t*>(event);
        if (key->event != d->root)
            return false;
        if (type == XCB_KEY_RELEASE) {
            d->down.erase(key->detail);
            return true;
        }
        Entry* entry = d->match(key);
        if (!entry) {
            // A grab released while its press was on the way may still hold the keyboard
            // frozen; without a grab of ours this does nothing.
            xcb_allow_events(d->c, XCB_ALLOW_REPLAY_KEYBOARD, key->time);
            xcb_flush(d->c);
            return true;
        }
        if (entry->kind == Kind::Intercept) {
            d->answerIntercept(*entry, key);
            return true;
        }
        const auto last = d->down.find(key->detail);
        const bool repeat = last != d->down.end() && key->time - last->second < kRepeatGapMs;
        d->down[key->detail] = key->time;
        if (!repeat)
            Q_EMIT pressed(entry->id);
        return true;
    }
    const bool keyboardMapChanged =
        (type == XCB_MAPPING_NOTIFY &&
         reinterpret_cast<xcb_mapping_notify_event_t*>(event)->request != XCB_MAPPING_POINTER) ||
        (d->xkbEventBase && type == d->xkbEventBase &&
         (event->pad0 == XCB_XKB_NEW_KEYBOARD_NOTIFY || event->pad0 == XCB_XKB_MAP_NOTIFY));
    if (keyboardMapChanged)
        d->remapTimer.start();
    return false;
}

} // namespace glimra
