// The popover under a StatusNotifierItem tray, which reports no icon geometry: a host of our
// own on the suite's session bus registers the item and activates it as a panel does.
#include "GlimraSession.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>

namespace {

constexpr auto kWatcher = "org.kde.StatusNotifierWatcher";

class Watcher : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)
public:
    bool hostRegistered() const { return true; }
    int protocolVersion() const { return 0; }
    QStringList items() const { return m_items; }
    // Where the registered item answers: its bus name and object path.
    QString service() const { return m_service; }
    QString objectPath() const { return m_objectPath; }

public Q_SLOTS:
    void RegisterStatusNotifierItem(const QString& serviceOrPath, const QDBusMessage& message)
    {
        // Items pass either their bus name or, from a unique connection, their object path.
        const bool isPath = serviceOrPath.startsWith(u'/');
        m_service = isPath ? message.service() : serviceOrPath;
        m_objectPath = isPath ? serviceOrPath : u"/StatusNotifierItem"_s;
        m_items.append(m_service + m_objectPath);
    }
    void RegisterStatusNotifierHost(const QString&) {}

private:
    QStringList m_items;
    QString m_service;
    QString m_objectPath;
};

class TrayActivation : public GlimraSession {
protected:
    void SetUp() override
    {
        QDBusConnection bus = QDBusConnection::sessionBus();
        ASSERT_TRUE(bus.isConnected());
        ASSERT_TRUE(bus.registerService(QLatin1String(kWatcher)));
        ASSERT_TRUE(bus.registerObject(u"/StatusNotifierWatcher"_s, &m_watcher,
                                       QDBusConnection::ExportAllSlots |
                                           QDBusConnection::ExportAllProperties));
    }
    void TearDown() override
    {
        QDBusConnection::sessionBus().unregisterObject(u"/StatusNotifierWatcher"_s);
        QDBusConnection::sessionBus().unregisterService(QLatin1String(kWatcher));
    }

    // What the panel does on a click on the icon, after the button is released.
    void activate()
    {
        QDBusMessage call =
            QDBusMessage::createMethodCall(m_watcher.service(), m_watcher.objectPath(),
                                           u"org.kde.StatusNotifierItem"_s, u"Activate"_s);
        call << 1800 << 12;
        QDBusConnection::sessionBus().call(call, QDBus::NoBlock);
    }

    // The app asks the watcher, synchronously, while it sets up its tray icon; this thread
    // answers only while it runs its event loop, so it waits for the app that way.
    void startWithTray()
    {
        m_app.setProcessEnvironment(m_env);
        m_app.setProcessChannelMode(QProcess::ForwardedChannels);
        m_app.start(QStringLiteral(GLIMRA_BIN), {});
        ASSERT_TRUE(m_app.waitForStarted());
        ASSERT_TRUE(waitUntil([&] { return !m_watcher.items().isEmpty(); }, 20s));
    }

    Watcher m_watcher;
};

} // namespace

TEST_F(TrayActivation, aClickOnTheIconOfAnOpenPopoverLeavesItClosed)
{
    startWithTray();

    activate();
    ASSERT_TRUE(waitUntil([&] { return visiblePopover().has_value(); }));

    // The press lands on the panel, outside the popover, and closes it as a click elsewhere;
    // the panel's activation of the same click follows.
    click({1800, 12});
    activate();
    EXPECT_TRUE(holdsFor([&] { return !visiblePopover(); }, 1500ms));

    // A later click opens it again, and one on the open popover's icon closes it.
    click({1800, 12});
    activate();
    ASSERT_TRUE(waitUntil([&] { return visiblePopover().has_value(); }));
    activate();
    EXPECT_TRUE(waitUntil([&] { return !visiblePopover(); }));
}

#include "TrayActivationTest.moc"
