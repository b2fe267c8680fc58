// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>
#include <Qt>

#include <functional>
#include <optional>

namespace glimra {

// Desktop-wide key combinations, whichever window has the focus. One object holds every
// combination the application takes, so that two features can never take the same keys
// from each other unnoticed.
//
// There are two kinds of hold. A shortcut takes its keys for good: the press never reaches
// another window and `pressed` fires once per press, however long the keys are held. An
// intercept looks at each press first and then either lets it go on to the focused window
// unchanged or replaces it with another combination sent to that window.
//
// Keys are X keysyms of the unshifted symbol (0x33 for the "3" key); Meta means Super.
class GlobalKeyGrabber : public QObject {
    Q_OBJECT
public:
    struct Combination {
        quint32 keysym = 0;
        Qt::KeyboardModifiers modifiers;
        friend bool operator==(const Combination&, const Combination&) = default;
    };
    // Answer for one intercepted press: nothing lets the press through as it is.
    using InterceptHandler = std::function<std::optional<Combination>(int id)>;
    // Why a shortcut holds no keys. Most refusals are this application's own doing, and the
    // user fixes each differently, so "another program" must mean exactly that.
    struct Refusal {
        // Desktop: the desktop took the request but bound no keys (its user has the last word);
        // Pending: it has not answered yet.
        enum class Cause { None, Shortcut, Intercept, NoSuchKey, HeldElsewhere, Desktop, Pending };
        Cause cause = Cause::None;
        int holder = 0; // the id of our shortcut or intercept holding the combination
        friend bool operator==(const Refusal&, const Refusal&) = default;
    };

    using QObject::QObject;
    ~GlobalKeyGrabber() override = default;

    // False when the session lets no client take keys from the others (Wayland without a
    // shortcuts portal, no X).
    virtual bool isAvailable() const = 0;
    // Whether keys can be taken and given back at any moment without asking the user, as
    // intercepts and short-lived holds need: a desktop that binds shortcuts for us asks its
    // user, and never lets us see, let alone replace, a press meant for another window.
    virtual bool canIntercept() const { return isAvailable(); }
    // What the shortcut with this id does, in words, for a desktop that shows it to the user.
    virtual void describe(int id, const QString& description)
    {
        Q_UNUSED(id);
        Q_UNUSED(description);
    }

    // False when refused: another program holds the keys, the keyboard has no such key, or
    // another shortcut or intercept of this application holds the same combination.
    virtual bool grab(quint32 keysym, Qt::KeyboardModifiers modifiers, int id) = 0;
    virtual void ungrabAll() = 0;
    // Lets go of one shortcut's keys (a short-lived one); every other hold stays as it is.
    virtual void ungrab(int id) = 0;
    // Whether the shortcut with this id holds its keys. Can turn false without a call when
    // the keyboard mapping changes or an intercept takes the combination.
    virtual bool isGrabbed(int id) const = 0;
    // For a shortcut that does not hold its keys (None for one that does or was never asked).
    virtual Refusal refusal(int id) const = 0;
    // The keys a desktop that binds shortcuts itself chose for this one, in its own words
    // (its user may have changed them); empty where the keys are ours as asked.
    virtual QString boundKeys(int id) const
    {
        Q_UNUSED(id);
        return {};
    }
    // How the keys are taken, as reports name it ("x11", "portal"); empty where nothing can be
    // taken.
    virtual QString via() const = 0;

    virtual bool intercept(quint32 keysym, Qt::KeyboardModifiers modifiers, int id) = 0;
    virtual void releaseIntercepts() = 0;
    virtual void setInterceptHandler(InterceptHandler handler) = 0;

    // Lets every combination through while a new shortcut is typed into our own window;
    // resuming takes them again (and reports any that another program took meanwhile).
    virtual void suspend() = 0;
    virtual void resume() = 0;

    // The unshifted keysym of a hardware key code, as the current keyboard mapping has it.
    virtual quint32 keysymAtLevel0(quint32 nativeKeyCode) const = 0;

Q_SIGNALS:
    void pressed(int id);
    // Some shortcut gained or lost its keys without a grab call.
    void grabsChanged();
};

// For sessions that forbid taking other programs' keys: every registration is refused.
class NullKeyGrabber final : public GlobalKeyGrabber {
    Q_OBJECT
public:
    using GlobalKeyGrabber::GlobalKeyGrabber;
    bool isAvailable() const override { return false; }
    bool grab(quint32, Qt::KeyboardModifiers, int) override { return false; }
    void ungrabAll() override {}
    void ungrab(int) override {}
    bool isGrabbed(int) const override { return false; }
    Refusal refusal(int) const override { return {}; }
    QString via() const override { return {}; }
    bool intercept(quint32, Qt::KeyboardModifiers, int) override { return false; }
    void releaseIntercepts() override {}
    void setInterceptHandler(InterceptHandler) override {}
    void suspend() override {}
    void resume() override {}
    quint32 keysymAtLevel0(quint32) const override { return 0; }
};

} // namespace glimra
