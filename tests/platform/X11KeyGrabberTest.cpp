// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/x11/X11KeyGrabber.h"

#include "TestSupport.h"
#include "XClient.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <xcb/xcb.h>

namespace {

constexpr quint32 kF9 = 0xffc6, kF10 = 0xffc7, kF11 = 0xffc8, kF12 = 0xffc9;
constexpr quint32 kKeyX = 0x78, kSuperL = 0xffeb;
// Not Ctrl+Alt: the server's own keymap switches consoles with Ctrl+Alt+F keys.
const auto kCtrlShift = Qt::ControlModifier | Qt::ShiftModifier;
constexpr uint16_t kX11CtrlShift = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_SHIFT;

// Counts key presses reported on the root window before the grabber sees them.
struct RootPressCounter final : QAbstractNativeEventFilter {
    RootPressCounter() { QCoreApplication::instance()->installNativeEventFilter(this); }
    ~RootPressCounter() override { QCoreApplication::instance()->removeNativeEventFilter(this); }
    bool nativeEventFilter(const QByteArray&, void* message, qintptr*) override
    {
        if ((static_cast<xcb_generic_event_t*>(message)->response_type & 0x7f) == XCB_KEY_PRESS)
            ++presses;
        return false;
    }
    int presses = 0;
};

TEST(X11KeyGrabber, refusesKeysHeldElsewhereAndFiresOncePerPressOfTheRest)
{
    XClient other;
    // Only with Num Lock on: the grabber must take that variant too and so be refused.
    const uint8_t f12 = other.keycodeFor(kF12);
    ASSERT_TRUE(other.grabKey(f12, kX11CtrlShift | XCB_MOD_MASK_2));

    X11KeyGrabber grabber;
    ASSERT_TRUE(grabber.isAvailable());
    QList<int> pressed;
    QObject::connect(&grabber, &GlobalKeyGrabber::pressed, [&](int id) { pressed.append(id); });
    EXPECT_FALSE(grabber.grab(kF12, kCtrlShift, 1));
    EXPECT_TRUE(grabber.grab(kF11, kCtrlShift, 2));
    EXPECT_TRUE(grabber.grab(kF10, kCtrlShift, 4));
    EXPECT_TRUE(!grabber.isGrabbed(1) && grabber.isGrabbed(2));
    // Taken with every lock variant: another client can no longer have Num Lock's.
    EXPECT_FALSE(other.grabKey(other.keycodeFor(kF11), kX11CtrlShift | XCB_MOD_MASK_2));

    RootPressCounter counter;
    xdotool(u"key ctrl+shift+F11"_s);
    // Held past the repeat delay: the server repeats the press, the action runs once.
    xdotool(u"keydown ctrl+shift+F10"_s);
    processEvents(std::chrono::milliseconds(1200));
    xdotool(u"keyup ctrl+shift+F10"_s);
    xdotool(u"key ctrl+shift+F10"_s);
    ASSERT_TRUE(waitUntil([&] { return pressed.size() >= 3; }));
    processEvents(std::chrono::milliseconds(100));
    EXPECT_EQ(pressed, (QList<int>{2, 4, 4}));
    EXPECT_GT(counter.presses, 4) << "the held keys did not repeat";

    grabber.ungrab(4); // and only that one
    EXPECT_TRUE(other.grabKey(other.keycodeFor(kF10), kX11CtrlShift));
    EXPECT_TRUE(grabber.isGrabbed(2));
    grabber.ungrabAll();
    EXPECT_TRUE(other.grabKey(other.keycodeFor(kF11), kX11CtrlShift));
}

TEST(X11KeyGrabber, letsKeysGoWhileSuspendedAndReportsOnesTakenMeanwhile)
{
    XClient other;
    X11KeyGrabber grabber;
    int changed = 0;
    QObject::connect(&grabber, &GlobalKeyGrabber::grabsChanged, [&] { ++changed; });
    ASSERT_TRUE(grabber.grab(kF9, Qt::MetaModifier, 1));
    ASSERT_TRUE(grabber.grab(kF10, Qt::MetaModifier, 2));
    grabber.suspend();
    EXPECT_TRUE(other.grabKey(other.keycodeFor(kF9), XCB_MOD_MASK_4));
    other.ungrabKey(other.keycodeFor(kF9), XCB_MOD_MASK_4);
    EXPECT_TRUE(other.grabKey(other.keycodeFor(kF10), XCB_MOD_MASK_4)); // and keeps it
    grabber.resume();
    EXPECT_TRUE(grabber.isGrabbed(1));
    EXPECT_FALSE(grabber.isGrabbed(2));
    EXPECT_EQ(changed, 1);
    EXPECT_FALSE(other.grabKey(other.keycodeFor(kF9), XCB_MOD_MASK_4));

    // Recording reads keys by their unshifted symbol: Shift+6 is still the "6" key.
    EXPECT_EQ(grabber.keysymAtLevel0(other.keycodeFor(0x36)), 0x36u);
    EXPECT_EQ(grabber.keysymAtLevel0(other.keycodeFor(0x61)), 0x61u);
}

TEST(X11KeyGrabber, interceptPassesPressesOnOrReplacesThemWithoutStuckKeys)
{
    XClient probe;
    X11KeyGrabber grabber;
    int changed = 0;
    QObject::connect(&grabber, &GlobalKeyGrabber::grabsChanged, [&] { ++changed; });
    ASSERT_TRUE(grabber.grab(kKeyX, Qt::MetaModifier, 7));
    ASSERT_TRUE(grabber.intercept(kKeyX, Qt::MetaModifier, 1));
    // The intercept wins the combination; the shortcut is told it lost it.
    EXPECT_FALSE(grabber.isGrabbed(7));
    EXPECT_EQ(changed, 1);

    std::optional<GlobalKeyGrabber::Combination> answer;
    int asked = 0;
    grabber.setInterceptHandler([&](int id) {
        EXPECT_EQ(id, 1);
        ++asked;
        return answer;
    });
    probe.open({100, 100, 300, 200});
    const uint8_t x = probe.keycodeFor(kKeyX);
    const auto pressesOfX = [&] {
        QList<uint16_t> states;
        for (const XClient::Key& k : probe.keys()) {
            if (k.press && k.keycode == x)
                states.append(k.state & 0xff);
        }
        return states;
    };

    xdotool(u"key super+x"_s);
    ASSERT_TRUE(waitUntil([&] { return pressesOfX().size() == 1; }));
    EXPECT_EQ(pressesOfX().constFirst(), XCB_MOD_MASK_4);

    answer = GlobalKeyGrabber::Combination{kKeyX, Qt::ControlModifier};
    xdotool(u"key super+x"_s);
    ASSERT_TRUE(waitUntil([&] { return pressesOfX().size() == 2; }));
    EXPECT_EQ(pressesOfX().constLast(), XCB_MOD_MASK_CONTROL);
    EXPECT_EQ(asked, 2);
    // The replacement's releases reach the server a moment after the press; none may stay down.
    EXPECT_TRUE(waitUntil([&] {
        return !probe.isDown(probe.keycodeFor(kSuperL)) && !probe.isDown(x) &&
               !probe.isDown(probe.keycodeFor(0xffe3));
    }));

    grabber.releaseIntercepts();
    xdotool(u"key super+x"_s);
    ASSERT_TRUE(waitUntil([&] { return pressesOfX().size() == 3; }));
    EXPECT_EQ(asked, 2);
}

void remap(uint8_t first, const char* firstKey, uint8_t second, const char* secondKey)
{
    runTool(u"xmodmap"_s,
            {u"-e"_s, u"keycode %1 = %2"_s.arg(first).arg(QLatin1String(firstKey)), u"-e"_s,
             u"keycode %1 = %2"_s.arg(second).arg(QLatin1String(secondKey))});
}

TEST(X11KeyGrabber, followsTheKeyToItsNewKeyCodeWhenTheMappingChanges)
{
    XClient other;
    const uint8_t f7 = other.keycodeFor(0xffc4), f8 = other.keycodeFor(0xffc5);
    ASSERT_TRUE(f7 && f8);
    X11KeyGrabber grabber;
    ASSERT_TRUE(grabber.grab(0xffc4, kCtrlShift, 1));
    remap(f7, "F8", f8, "F7");
    // The old key code is free again, the new one is ours.
    EXPECT_TRUE(waitUntil([&] {
        const bool oldFree = other.grabKey(f7, kX11CtrlShift);
        other.ungrabKey(f7, kX11CtrlShift);
        return oldFree && !other.grabKey(f8, kX11CtrlShift);
    }));
    remap(f7, "F7", f8, "F8");
    EXPECT_TRUE(waitUntil([&] { return other.keycodeFor(0xffc4) == f7; }));
    EXPECT_TRUE(waitUntil([&] {
        const bool freed = other.grabKey(f8, kX11CtrlShift);
        other.ungrabKey(f8, kX11CtrlShift);
        return freed;
    }));
    EXPECT_TRUE(grabber.isGrabbed(1));
}

} // namespace
