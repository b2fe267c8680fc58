// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/GlobalKeyGrabber.h"

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QHash>
#include <QTimer>

namespace glimra {

// The desktop binds our shortcuts through the GlobalShortcuts portal: we ask for each with
// its stored keys as the preferred trigger, and the desktop (and its user, in a dialog of
// its own) decides which keys, if any, run it. Nothing is taken from other programs, so
// intercepts and short-lived holds are refused.
//
// Every request is answered later; until then the shortcuts asked for are refused as pending.
// A session with a fixed name is made again whenever the set of shortcuts changes, so
// the desktop finds the user's choices of the last run under the same name.
class PortalKeyGrabber final : public GlobalKeyGrabber {
    Q_OBJECT
public:
    explicit PortalKeyGrabber(QDBusConnection bus, QObject* parent = nullptr);
    ~PortalKeyGrabber() override;

    // Until the portal has said whether it offers the interface, it is taken to.
    bool isAvailable() const override { return m_state != State::Absent; }
    bool canIntercept() const override { return false; }
    bool grab(quint32 keysym, Qt::KeyboardModifiers modifiers, int id) override;
    void ungrabAll() override;
    void ungrab(int id) override;
    bool isGrabbed(int id) const override;
    Refusal refusal(int id) const override;
    QString via() const override { return QStringLiteral("portal"); }
    QString boundKeys(int id) const override
    {
        return isGrabbed(id) ? m_bound.value(id) : QString();
    }
    void describe(int id, const QString& description) override { m_descriptions[id] = description; }

    bool intercept(quint32, Qt::KeyboardModifiers, int) override { return false; }
    void releaseIntercepts() override {}
    void setInterceptHandler(InterceptHandler) override {}
    // Our own window sees every key while a shortcut is recorded: there is nothing to let go.
    void suspend() override {}
    void resume() override {}
    quint32 keysymAtLevel0(quint32) const override { return 0; }

    // The trigger as the desktop's shortcut notation writes it ("CTRL+ALT+Left").
    static QString triggerText(const Combination& combination);

    // The portal's signal (session, shortcut, time, options); D-Bus reaches public slots only.
    Q_SLOT void onActivated(const QDBusMessage& signal);

private:
    enum class State { Probing, Ready, Absent };
    void probe(int attemptsLeft);
    void onVersion(bool offered);
    void bindSoon();
    void bind();
    void createSession(quint64 generation);
    void bindShortcuts(quint64 generation);
    // Calls a portal method whose answer comes as a Response signal on a request object.
    void request(const QString& method, const QVariantList& args, QVariantMap& options,
                 std::function<void(uint response, const QVariantMap& results)> answer);
    QVariant shortcutList() const;

    QDBusConnection m_bus;
    State m_state = State::Probing;
    QHash<int, Combination> m_wanted;
    QHash<int, QString> m_descriptions;
    QHash<int, int> m_clashes;      // refused id -> our id that asked for the same keys first
    QHash<int, Combination> m_sent; // what the current session was asked for
    QHash<int, QString> m_bound;    // id -> the keys the desktop bound, as it writes them
    bool m_answered = false;        // the current set has had the desktop's answer
    QDBusObjectPath m_session;
    quint64 m_generation = 0;
    quint64 m_requests = 0;
    QTimer m_bindTimer;
};

} // namespace glimra
