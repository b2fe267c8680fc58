// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/portal/PortalKeyGrabber.h"

#include <QDBusArgument>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>

#include <xkbcommon/xkbcommon.h>

namespace glimra {

namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
// The desktop files the user's choices under the session's name: it must not change.
const QString kSessionToken = QStringLiteral("glimra");
// A portal that has not answered by then will not; the rows then say so.
constexpr int kCallTimeoutMs = 10000;
constexpr int kProbes = 3;

struct Shortcut {
    QString id;
    QVariantMap properties;
};
using ShortcutList = QList<Shortcut>;

QDBusArgument& operator<<(QDBusArgument& out, const Shortcut& shortcut)
{
    out.beginStructure();
    out << shortcut.id << shortcut.properties;
    out.endStructure();
    return out;
}

const QDBusArgument& operator>>(const QDBusArgument& in, Shortcut& shortcut)
{
    in.beginStructure();
    in >> shortcut.id >> shortcut.properties;
    in.endStructure();
    return in;
}

// One Response signal on one request object.
class PortalRequest final : public QObject {
    Q_OBJECT
public:
    using Answer = std::function<void(uint, const QVariantMap&)>;
    explicit PortalRequest(Answer answer, QObject* parent) : QObject(parent), m_answer(answer) {}
    Q_SLOT void onResponse(uint response, const QVariantMap& results)
    {
        deleteLater();
        if (m_answer)
            std::exchange(m_answer, nullptr)(response, results);
    }

private:
    Answer m_answer;
};

} // namespace

} // namespace glimra

Q_DECLARE_METATYPE(glimra::Shortcut)
Q_DECLARE_METATYPE(glimra::ShortcutList)

namespace glimra {

PortalKeyGrabber::PortalKeyGrabber(QDBusConnection bus, QObject* parent)
    : GlobalKeyGrabber(parent), m_bus(std::move(bus))
{
    qDBusRegisterMetaType<Shortcut>();
    qDBusRegisterMetaType<ShortcutList>();
    m_bindTimer.setSingleShot(true);
    m_bindTimer.setInterval(0);
    connect(&m_bindTimer, &QTimer::timeout, this, &PortalKeyGrabber::bind);
    m_bus.connect(kService, kPath, kInterface, QStringLiteral("Activated"), this,
                  SLOT(onActivated(QDBusMessage)));
    probe(kProbes);
}

void PortalKeyGrabber::probe(int attemptsLeft)
{
    // Asked, not assumed: a portal without the interface says so, and so does a bus with no
    // portal at one. A portal that is slow to start (no reply in time) is asked again.
    QDBusMessage get = QDBusMessage::createMethodCall(
        kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << kInterface << QStringLiteral("version");
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(get, kCallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, attemptsLeft] {
        watcher->deleteLater();
        const QDBusError::ErrorType error = watcher->error().type();
        const bool definite =
            error == QDBusError::NoError || error == QDBusError::InvalidArgs ||
            error == QDBusError::UnknownInterface || error == QDBusError::UnknownProperty ||
            error == QDBusError::ServiceUnknown || error == QDBusError::UnknownObject;
        if (definite || attemptsLeft <= 1)
            return onVersion(error == QDBusError::NoError);
        QTimer::singleShot(1000, this, [this, attemptsLeft] { probe(attemptsLeft - 1); });
    });
}

PortalKeyGrabber::~PortalKeyGrabber() = default;

QString PortalKeyGrabber::triggerText(const Combination& combination)
{
    QString text;
    const std::pair<Qt::KeyboardModifier, const char*> names[] = {{Qt::ControlModifier, "CTRL+"},
                                                                  {Qt::AltModifier, "ALT+"},
                                                                  {Qt::ShiftModifier, "SHIFT+"},
                                                                  {Qt::MetaModifier, "LOGO+"}};
    for (const auto& [modifier, name] : names) {
        if (combination.modifiers & modifier)
            text += QLatin1String(name);
    }
    char key[64] = {};
    if (xkb_keysym_get_name(combination.keysym, key, sizeof(key)) <= 0)
        return {};
    return text + QLatin1String(key);
}

void PortalKeyGrabber::onVersion(bool offered)
{
    m_state = offered ? State::Ready : State::Absent;
    if (offered)
        bindSoon();
    Q_EMIT grabsChanged();
}

bool PortalKeyGrabber::grab(quint32 keysym, Qt::KeyboardModifiers modifiers, int id)
{
    m_clashes.remove(id);
    for (auto it = m_wanted.cbegin(); it != m_wanted.cend(); ++it) {
        if (it.key() != id && it->keysym == keysym && it->modifiers == modifiers) {
            m_clashes.insert(id, it.key());
            return false;
        }
    }
    m_wanted.insert(id, {keysym, modifiers});
    bindSoon();
    return m_state != State::Absent;
}

void PortalKeyGrabber::ungrabAll()
{
    m_wanted.clear();
    m_clashes.clear();
    bindSoon();
}

void PortalKeyGrabber::ungrab(int id)
{
    m_wanted.remove(id);
    m_clashes.remove(id);
    bindSoon();
}

bool PortalKeyGrabber::isGrabbed(int id) const
{
    return m_state != State::Absent && m_answered && m_wanted.contains(id) && m_bound.contains(id);
}

GlobalKeyGrabber::Refusal PortalKeyGrabber::refusal(int id) const
{
    if (const auto clash = m_clashes.constFind(id); clash != m_clashes.cend())
        return {Refusal::Cause::Shortcut, *clash};
    if (m_wanted.contains(id) && !isGrabbed(id))
        return {m_answered ? Refusal::Cause::Desktop : Refusal::Cause::Pending, 0};
    return {};
}

void PortalKeyGrabber::bindSoon()
{
    m_bindTimer.start();
}

void PortalKeyGrabber::bind()
{
    if (m_state != State::Ready || (m_wanted == m_sent && !m_session.path().isEmpty()))
        return;
    const quint64 generation = ++m_generation;
    m_answered = false;
    m_sent = m_wanted;
    if (m_session.path().isEmpty())
        return createSession(generation);
    // The same name cannot be given to a second session while the first one lives.
    QDBusMessage close = QDBusMessage::createMethodCall(
        kService, m_session.path(), QStringLiteral("org.freedesktop.portal.Session"),
        QStringLiteral("Close"));
    m_session = {};
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(close, kCallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, generation] {
        watcher->deleteLater();
        if (generation == m_generation)
            createSession(generation);
    });
}

void PortalKeyGrabber::createSession(quint64 generation)
{
    if (m_sent.isEmpty()) {
        m_answered = true;
        return Q_EMIT grabsChanged();
    }
    // Some desktops bind only what the session was created with, so the list goes here too.
    QVariantMap options{{QStringLiteral("session_handle_token"), kSessionToken},
                        {QStringLiteral("shortcuts"), shortcutList()}};
    request(QStringLiteral("CreateSession"), {}, options,
            [this, generation](uint response, const QVariantMap& results) {
                if (generation != m_generation)
                    return;
                m_session =
                    QDBusObjectPath(results.value(QStringLiteral("session_handle")).toString());
                if (response == 0 && !m_session.path().isEmpty())
                    return bindShortcuts(generation);
                m_answered = true;
                Q_EMIT grabsChanged();
            });
}

void PortalKeyGrabber::bindShortcuts(quint64 generation)
{
    QVariantMap options;
    request(
        QStringLiteral("BindShortcuts"),
        {QVariant::fromValue(m_session), shortcutList(), QString()}, options,
        [this, generation](uint response, const QVariantMap& results) {
            if (generation != m_generation)
                return;
            m_bound.clear();
            ShortcutList bound;
            if (response == 0)
                results.value(QStringLiteral("shortcuts")).value<QDBusArgument>() >> bound;
            for (const Shortcut& shortcut : bound)
                m_bound.insert(
                    shortcut.id.toInt(),
                    shortcut.properties.value(QStringLiteral("trigger_description")).toString());
            m_answered = true;
            Q_EMIT grabsChanged();
        });
}

void PortalKeyGrabber::request(const QString& method, const QVariantList& args,
                               QVariantMap& options,
                               std::function<void(uint, const QVariantMap&)> answer)
{
    // The answer is a signal on an object named after our token: listen before asking.
    const QString token = QStringLiteral("glimra%1").arg(++m_requests);
    const QString sender = m_bus.baseService().mid(1).replace(QLatin1Char('.'), QLatin1Char('_'));
    const QString path =
        QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token);
    auto* pending = new PortalRequest(std::move(answer), this);
    m_bus.connect(kService, path, QStringLiteral("org.freedesktop.portal.Request"),
                  QStringLiteral("Response"), pending, SLOT(onResponse(uint, QVariantMap)));
    options.insert(QStringLiteral("handle_token"), token);
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
    QVariantList arguments = args;
    arguments.append(options);
    call.setArguments(arguments);
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, kCallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, pending, [pending, watcher] {
        watcher->deleteLater();
        if (watcher->isError())
            pending->onResponse(2, {});
    });
    // A portal that took the call but never answers must not leave the rows waiting forever.
    QTimer::singleShot(kCallTimeoutMs * 6, pending, [pending] { pending->onResponse(2, {}); });
}

QVariant PortalKeyGrabber::shortcutList() const
{
    ShortcutList list;
    QList<int> ids = m_sent.keys();
    std::sort(ids.begin(), ids.end());
    for (const int id : ids) {
        list.append(
            {QString::number(id),
             {{QStringLiteral("description"), m_descriptions.value(id, QString::number(id))},
              {QStringLiteral("preferred_trigger"), triggerText(m_sent.value(id))}}});
    }
    return QVariant::fromValue(list);
}

void PortalKeyGrabber::onActivated(const QDBusMessage& signal)
{
    const QVariantList args = signal.arguments();
    bool ok = false;
    const int id = args.value(1).toString().toInt(&ok);
    if (ok && args.value(0).value<QDBusObjectPath>() == m_session && m_bound.contains(id) &&
        m_wanted.contains(id))
        Q_EMIT pressed(id);
}

} // namespace glimra

#include "PortalKeyGrabber.moc"
