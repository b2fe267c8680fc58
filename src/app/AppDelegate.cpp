#include "app/AppDelegate.h"

#include "account/AuthManager.h"
#include "account/KeychainHelper.h"
#include "app/RemoteControl.h"
#include "library/ScreenshotManager.h"
#include "platform/Clipboard.h"
#include "platform/GlobalMouseMonitor.h"
#include "ui/PopoverWindow.h"
#include "ui/TrayIconArt.h"

#include <QApplication>
#include <QCursor>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMenu>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>

namespace glimra {

namespace {

AppDelegate* g_instance = nullptr;

QString isoDate(const QDateTime& date)
{
    // Always with the numeric offset, never "Z", so scripts read one shape.
    const QDateTime local = date.toOffsetFromUtc(date.offsetFromUtc());
    QString text = local.toString(Qt::ISODate);
    if (text.endsWith(QLatin1Char('Z'))) {
        text.chop(1);
        text += QStringLiteral("+00:00");
    }
    return text;
}

QJsonValue optionalText(const std::optional<QString>& text)
{
    return text ? QJsonValue(*text) : QJsonValue(QJsonValue::Null);
}

QJsonValue optionalNumber(const std::optional<qint64>& number)
{
    return number ? QJsonValue(*number) : QJsonValue(QJsonValue::Null);
}

QPoint popoverPosition(const QRect& iconGeometry, QSize size)
{
    const QPoint anchor = iconGeometry.isValid() ? iconGeometry.center() : QCursor::pos();
    QScreen* screen = QGuiApplication::screenAt(anchor);
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect(QPoint(0, 0), size);
    int x = anchor.x() - size.width() / 2;
    int y;
    if (iconGeometry.isValid()) {
        // Under the icon when the panel is at the top, above it when the panel is at the bottom.
        const bool panelAtBottom = iconGeometry.center().y() > area.center().y();
        y = panelAtBottom ? iconGeometry.top() - size.height() : iconGeometry.bottom() + 1;
    } else {
        y = anchor.y() + 8;
    }
    x = std::clamp(x, area.left(), std::max(area.left(), area.right() + 1 - size.width()));
    y = std::clamp(y, area.top(), std::max(area.top(), area.bottom() + 1 - size.height()));
    return {x, y};
}

} // namespace

AppDelegate* appDelegateInstance()
{
    return g_instance;
}

AppDelegate::AppDelegate(PlatformServices services, QObject* parent)
    : QObject(parent), m_services(std::move(services)),
      m_screenshotManager(
          new ScreenshotManager(m_services.clipboard.get(), m_services.folderPicker.get(), this)),
      m_authManager(new AuthManager(this))
{}

AppDelegate::~AppDelegate()
{
    applicationWillTerminate();
    delete m_popover;
    delete m_trayMenu;
}

void AppDelegate::applicationDidFinishLaunching()
{
    if (m_launched)
        return;
    m_launched = true;
    g_instance = this;

    m_statusItem = new QSystemTrayIcon(trayIcon(), this);
    m_statusItem->setToolTip(QStringLiteral("Glimra"));
    connect(m_statusItem, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                // Two clicks in quick succession arrive as a double click; each is a toggle.
                if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
                    togglePopover();
            });
    m_trayMenu = new QMenu;
    m_trayMenu->addAction(QStringLiteral("Quit Glimra"), qApp, &QCoreApplication::quit);
    m_statusItem->setContextMenu(m_trayMenu);
    m_statusItem->show();

    m_popover = new PopoverWindow(m_screenshotManager);
    connect(m_popover, &PopoverWindow::pinToggled, this, [this] { setPinned(!m_isPinned); });
    connect(m_popover, &PopoverWindow::deactivated, this, [this] {
        // Without a desktop-wide view of clicks, losing activation is the sign of a click
        // elsewhere.
        if (!m_monitorActive && !m_isPinned && m_popover->isVisible()) {
            m_popover->hide();
            m_sinceAutoClose.start();
        }
    });

    m_monitorActive = m_services.mouseMonitor->start();
    connect(m_services.mouseMonitor.get(), &GlobalMouseMonitor::mousePressed, this,
            &AppDelegate::onGlobalMousePress);

    QPointer<AppDelegate> self(this);
    m_screenshotManager->onBeforeCapture = [self] {
        if (self)
            self->closePopover();
    };
    m_authManager->setOnLoginSuccess([self] {
        if (self)
            self->m_screenshotManager->performFullSync();
    });
    m_screenshotManager->loadScreenshots();
    m_screenshotManager->startWatchingScreenshots();
    m_screenshotManager->performFullSync();
}

void AppDelegate::applicationWillTerminate()
{
    if (!m_launched || m_terminated)
        return;
    m_terminated = true;
    m_screenshotManager->stopWatchingScreenshots();
    m_services.mouseMonitor->stop();
    m_monitorActive = false;
    if (g_instance == this)
        g_instance = nullptr;
}

void AppDelegate::onGlobalMousePress(QPoint position)
{
    if (!m_popover || !m_popover->isVisible() || m_isPinned)
        return;
    const qreal ratio = m_popover->devicePixelRatioF();
    const QPoint logical(qRound(position.x() / ratio), qRound(position.y() / ratio));
    if (m_popover->frameGeometry().contains(logical))
        return;
    // The tray icon toggles the popover itself; closing here would reopen it at once.
    if (m_statusItem && m_statusItem->geometry().contains(logical))
        return;
    closePopover();
}

void AppDelegate::togglePopover()
{
    if (!m_popover || !m_statusItem)
        return;
    if (m_popover->isVisible()) {
        closePopover();
        return;
    }
    // The click on the icon that took activation away has just closed it: that click meant
    // "close", not "close and open again".
    if (m_sinceAutoClose.isValid() && m_sinceAutoClose.elapsed() < 300)
        return;
    showPopover();
}

void AppDelegate::showPopover()
{
    m_popover->move(popoverPosition(m_statusItem->geometry(), PopoverWindow::kContentSize));
    m_popover->show();
    m_popover->raise();
    m_popover->activateWindow();
}

void AppDelegate::closePopover()
{
    if (m_popover && m_popover->isVisible())
        m_popover->hide();
}

void AppDelegate::setPinned(bool pinned)
{
    m_isPinned = pinned;
    if (m_popover)
        m_popover->setPinnedLook(pinned);
}

void AppDelegate::registerRemoteCommands(RemoteControl* remote)
{
    registerAccountCommands(remote);
    QPointer<AppDelegate> self(this);
    remote->addCommand(QStringLiteral("toggle"), [self](const QStringList&, const QString&,
                                                        const RemoteControl::Reply& reply) {
        if (self)
            self->togglePopover();
        reply(0, {}, {});
    });
    remote->addCommand(QStringLiteral("ping"),
                       [](const QStringList&, const QString&, const RemoteControl::Reply& reply) {
                           reply(0, {}, {});
                       });
    remote->addCommand(QStringLiteral("quit"),
                       [](const QStringList&, const QString&, const RemoteControl::Reply& reply) {
                           reply(0, {}, {});
                           // After the reply has left: quitting tears the socket down.
                           QTimer::singleShot(0, qApp, &QCoreApplication::quit);
                       });
    remote->addCommand(QStringLiteral("capture"), [self](const QStringList& args, const QString&,
                                                         const RemoteControl::Reply& reply) {
        static const QHash<QString, ScreenshotManager::CaptureMode> modes{
            {QStringLiteral("full"), ScreenshotManager::CaptureMode::FullScreen},
            {QStringLiteral("area"), ScreenshotManager::CaptureMode::Area},
            {QStringLiteral("window"), ScreenshotManager::CaptureMode::Window}};
        const auto mode = modes.constFind(args.value(0));
        if (mode == modes.constEnd())
            return reply(2, {}, QStringLiteral("Usage: glimra capture full|area|window\n"));
        if (!self)
            return reply(1, {}, QStringLiteral("Glimra is not running\n"));
        ScreenshotManager* manager = self->m_screenshotManager;
        auto connection = std::make_shared<QMetaObject::Connection>();
        const quint64 ticket = manager->startCapture(*mode);
        *connection =
            connect(manager, &ScreenshotManager::captureFinished, manager,
                    [connection, ticket, reply](quint64 finished, const ScreenshotItemPtr& item,
                                                const QString& status) {
                        if (finished != ticket)
                            return;
                        QObject::disconnect(*connection);
                        if (item && item->filePath)
                            reply(0, *item->filePath + QLatin1Char('\n'), {});
                        else
                            reply(1, {},
                                  (status.isEmpty() ? QStringLiteral("Capture failed") : status) +
                                      QLatin1Char('\n'));
                    });
    });
    remote->addCommand(QStringLiteral("list"), [self](const QStringList& args, const QString&,
                                                      const RemoteControl::Reply& reply) {
        if (!self)
            return reply(1, {}, QStringLiteral("Glimra is not running\n"));
        const bool json = args.contains(QStringLiteral("--json"));
        ScreenshotManager* manager = self->m_screenshotManager;
        auto answer = [manager, json, reply] {
            QString out;
            QJsonArray array;
            for (const ScreenshotItemPtr& item : manager->screenshots()) {
                if (json) {
                    array.append(QJsonObject{
                        {QStringLiteral("path"), optionalText(item->filePath)},
                        {QStringLiteral("date"), isoDate(item->date)},
                        {QStringLiteral("syncStatus"), syncStatusText(item->syncStatus)},
                        {QStringLiteral("serverId"), optionalText(item->serverId)},
                        {QStringLiteral("captureType"), optionalText(item->captureType)}});
                } else {
                    out += isoDate(item->date) + QLatin1Char('\t') +
                           syncStatusText(item->syncStatus) + QLatin1Char('\t') +
                           item->filePath.value_or(QString()) + QLatin1Char('\n');
                }
            }
            if (json)
                out = QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Indented));
            reply(0, out, {});
        };
        if (manager->isLibraryLoaded())
            return answer();
        // Still reading the folder: answer with the whole library, not a part of it.
        auto connection = std::make_shared<QMetaObject::Connection>();
        *connection =
            connect(manager, &ScreenshotManager::libraryLoaded, manager, [connection, answer] {
                QObject::disconnect(*connection);
                answer();
            });
    });
}

} // namespace glimra

namespace glimra {

void AppDelegate::registerAccountCommands(RemoteControl* remote)
{
    QPointer<AuthManager> auth(m_authManager);
    // Answers once the session has handled its reply: the error, or who is signed in now.
    auto whenSettled = [auth](const RemoteControl::Reply& reply) {
        auto answer = [auth, reply] {
            if (!auth)
                return reply(1, {}, QStringLiteral("Glimra is not running\n"));
            if (auth->errorMessage())
                return reply(1, {}, *auth->errorMessage() + QLatin1Char('\n'));
            if (!auth->isLoggedIn())
                return reply(1, {}, QStringLiteral("Login failed\n"));
            const QString name = auth->currentUser() ? auth->currentUser()->username : QString();
            reply(0, QStringLiteral("Signed in as %1\n").arg(name), {});
        };
        if (!auth || !auth->isLoading())
            return answer();
        auto connection = std::make_shared<QMetaObject::Connection>();
        *connection = connect(auth, &AuthManager::isLoadingChanged, auth,
                              [connection, answer, auth](bool loading) {
                                  if (loading)
                                      return;
                                  QObject::disconnect(*connection);
                                  // The reply's handler may still be setting the rest of the
                                  // session; answer once it has finished.
                                  QTimer::singleShot(0, auth, answer);
                              });
    };
    remote->addCommand(QStringLiteral("login"),
                       [auth, whenSettled](const QStringList& args, const QString& password,
                                           const RemoteControl::Reply& reply) {
                           if (args.size() != 1)
                               return reply(2, {},
                                            QStringLiteral("Usage: glimra login USERNAME\n"));
                           if (!auth)
                               return reply(1, {}, QStringLiteral("Glimra is not running\n"));
                           auth->login(args[0], password);
                           whenSettled(reply);
                       });
    remote->addCommand(
        QStringLiteral("register"),
        [auth, whenSettled](const QStringList& args, const QString& password,
                            const RemoteControl::Reply& reply) {
            if (args.size() != 2)
                return reply(2, {}, QStringLiteral("Usage: glimra register USERNAME EMAIL\n"));
            if (!auth)
                return reply(1, {}, QStringLiteral("Glimra is not running\n"));
            auth->registerAccount(args[0], args[1], password);
            whenSettled(reply);
        });
    remote->addCommand(QStringLiteral("logout"), [auth](const QStringList&, const QString&,
                                                        const RemoteControl::Reply& reply) {
        if (auth)
            auth->logout();
        reply(0, {}, {});
    });
    QPointer<ScreenshotManager> screenshots(m_screenshotManager);
    remote->addCommand(QStringLiteral("status"), [auth, screenshots](
                                                     const QStringList& args, const QString&,
                                                     const RemoteControl::Reply& reply) {
        if (!auth || !screenshots)
            return reply(1, {}, QStringLiteral("Glimra is not running\n"));
        QJsonValue user(QJsonValue::Null);
        if (const std::optional<UserInfo> info = auth->currentUser()) {
            user = QJsonObject{
                {QStringLiteral("id"), info->id},
                {QStringLiteral("username"), info->username},
                {QStringLiteral("email"), info->email},
                {QStringLiteral("screenshotCount"), optionalNumber(info->screenshotCount)},
                {QStringLiteral("storageUsedBytes"), optionalNumber(info->storageUsedBytes)}};
        }
        const std::optional<QDateTime> synced = screenshots->lastSyncDate();
        const QJsonObject status{
            {QStringLiteral("isLoggedIn"), auth->isLoggedIn()},
            {QStringLiteral("currentUser"), user},
            {QStringLiteral("statusMessage"), screenshots->statusMessage()},
            {QStringLiteral("lastSyncDate"),
             synced ? QJsonValue(isoDate(*synced)) : QJsonValue(QJsonValue::Null)}};
        if (args.contains(QStringLiteral("--json")))
            return reply(
                0, QString::fromUtf8(QJsonDocument(status).toJson(QJsonDocument::Indented)), {});
        QString text =
            auth->isLoggedIn()
                ? QStringLiteral("Signed in as %1\n")
                      .arg(auth->currentUser() ? auth->currentUser()->username : QString())
                : QStringLiteral("Signed out\n");
        if (synced)
            text += QStringLiteral("Last sync: %1\n").arg(isoDate(*synced));
        if (!screenshots->statusMessage().isEmpty())
            text += screenshots->statusMessage() + QLatin1Char('\n');
        reply(0, text, {});
    });
}

} // namespace glimra
