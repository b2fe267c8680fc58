// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/GlobalKeyGrabber.h"

#include <QList>
#include <QSet>

#include <map>

namespace glimra::test {

// Holds combinations in memory; `refuse` plays another program that holds some ids' keys.
class FakeKeyGrabber final : public GlobalKeyGrabber {
    Q_OBJECT
public:
    struct Held {
        quint32 keysym;
        Qt::KeyboardModifiers modifiers;
        int id;
        friend bool operator==(const Held&, const Held&) = default;
    };

    bool isAvailable() const override { return available; }
    bool grab(quint32 keysym, Qt::KeyboardModifiers modifiers, int id) override
    {
        attempts.append({keysym, modifiers, id});
        if (refuse.contains(id))
            return false;
        grabs.append({keysym, modifiers, id});
        return true;
    }
    void ungrabAll() override { grabs.clear(); }
    void ungrab(int id) override
    {
        grabs.removeIf([id](const Held& h) { return h.id == id; });
    }
    bool isGrabbed(int id) const override
    {
        return std::any_of(grabs.begin(), grabs.end(), [id](const Held& h) { return h.id == id; });
    }
    Refusal refusal(int id) const override
    {
        return isGrabbed(id) ? Refusal{} : Refusal{refusedAs, 0};
    }
    QString via() const override { return QStringLiteral("fake"); }
    bool intercept(quint32 keysym, Qt::KeyboardModifiers modifiers, int id) override
    {
        intercepts.append({keysym, modifiers, id});
        return true;
    }
    void releaseIntercepts() override { intercepts.clear(); }
    void setInterceptHandler(InterceptHandler h) override { handler = std::move(h); }
    void suspend() override { suspended = true; }
    void resume() override { suspended = false; }
    quint32 keysymAtLevel0(quint32 code) const override
    {
        const auto it = levels.find(code);
        return it == levels.end() ? 0 : it->second;
    }

    QList<Held> attempts, grabs, intercepts;
    QSet<int> refuse;
    bool available = true;
    Refusal::Cause refusedAs = Refusal::Cause::HeldElsewhere;
    InterceptHandler handler;
    bool suspended = false;
    std::map<quint32, quint32> levels;
};

} // namespace glimra::test
