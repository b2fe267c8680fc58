// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/AppDelegate.h"

#include "account/AuthManager.h"
#include "account/KeychainHelper.h"
#include "core/Settings.h"
#include "editor/EditorLauncher.h"
#include "filecut/FinderCutManager.h"
#include "library/ScreenshotManager.h"
#include "platform/ActiveWindowClass.h"
#include "platform/Clipboard.h"
#include "platform/FileOpener.h"
#include "platform/GlobalKeyGrabber.h"
#include "platform/GlobalMouseMonitor.h"
#include "platform/PowerSource.h"
#include "shortcuts/HotkeyManager.h"
#include "shortcuts/HotkeySettings.h"
#include "shortcuts/ShortcutRecorder.h"
#include "sync/SyncEngine.h"
#include "text/TextManager.h"
#include "ui/PopoverWindow.h"
#include "ui/TrayIconArt.h"
#include "windows/WindowTilingManager.h"

#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QWindow>

#include <algorithm>

namespace glimra {

namespace {

AppDelegate* g_instance = nullptr;

// Beside the eleven shortcuts (1..11): Escape, held only while a countdown runs.
constexpr int kCountdownEscapeId = 100;
constexpr quint32 kEscapeKeysym = 0xff1b;

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

// Inner popups, dialogs and menus are top-level windows of their own; a press on one of them
// is a press inside the app.
bool isOnOwnWindow(QPoint logical)
{
    const QList<QWindow*> windows = QGuiApplication::topLevelWindows();
    return std::any_of(windows.begin(), windows.end(), [&](const QWindow* window) {
        return window->isVisible() && window->frameGeometry().contains(logical);
    });
}

} // namespace

AppDelegate* appDelegateInstance()
{
    return g_instance;
}

AppDelegate::AppDelegate(PlatformServices services, QObject* parent)
    : QObject(parent), m_services(std::move(services)), m_settingsStore(openSettings()),
      m_screenshotManager(
          new ScreenshotManager(m_services.clipboard.get(), m_services.folderPicker.get(), this)),
      m_authManager(new AuthManager(this)),
      // Account and sync share one web client and one token store.
      m_syncEngine(new SyncEngine(
          m_screenshotManager, m_authManager->network(),
          [keychain = m_authManager->keychain()] { return keychain->retrieve(); }, this)),
      m_textManager(new TextManager(m_screenshotManager, this)),
      m_hotkeySettings(new HotkeySettings(*m_settingsStore, this)),
      m_windowTilingManager(std::make_unique<WindowTilingManager>(m_services.windowMover.get())),
      m_hotkeyManager(new HotkeyManager(*m_hotkeySettings, *m_services.keyGrabber, this)),
      // While it records, it lets go of the keys the hotkey manager holds.
      m_shortcutRecorder(
          new ShortcutRecorder(*m_hotkeySettings, m_services.keyGrabber.get(), this)),
      m_finderCutManager(new FinderCutManager(*m_services.keyGrabber, activeWindowClass, this)),
      m_editorLauncher(
          new editor::EditorLauncher(m_screenshotManager, m_services.clipboard.get(), this))
{
    m_screenshotManager->setSyncService(m_syncEngine);
    m_hotkeyManager->setTilingAvailable(m_windowTilingManager->isAvailable());
    m_editorLauncher->setTextManager(m_textManager);
    // Reading text waits for mains power.
    connect(createPowerSource(m_textManager), &PowerSource::onBatteryChanged, m_textManager,
            &TextManager::setOnBattery);
    connect(m_screenshotManager, &ScreenshotManager::captureFinished, this,
            [this](quint64, const ScreenshotItemPtr& item) {
                if (item && item->filePath &&
                    openSettings()->value(settings::kOpenEditorAfterCapture).toBool())
                    m_editorLauncher->open(*item->filePath);
            });
    m_finderCutManager->setExtraFileManagerClasses(
        m_settingsStore->value(settings::kFileManagerClasses).toStringList());
}

AppDelegate::~AppDelegate()
{
    applicationWillTerminate();
    m_screenshotManager->setSyncService(nullptr);
    delete m_syncEngine;
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
    // With the popover closed, the tray's tooltip is where a countdown shows, and Escape is
    // taken from the whole desktop to cancel it; it goes back to the other programs the
    // moment the countdown ends. A desktop that binds keys only after asking its user gets no
    // such request.
    connect(m_screenshotManager, &ScreenshotManager::captureCountdownChanged, m_statusItem, [this] {
        const bool counting = m_screenshotManager->captureCountdown() > 0;
        m_statusItem->setToolTip(counting ? m_screenshotManager->statusMessage()
                                          : QStringLiteral("Glimra"));
        GlobalKeyGrabber& keys = *m_services.keyGrabber;
        const bool popoverShown = m_popover && m_popover->isVisible();
        if (!counting) {
            keys.ungrab(kCountdownEscapeId);
        } else if (!popoverShown && keys.canIntercept() && !keys.isGrabbed(kCountdownEscapeId)) {
            keys.ungrab(kCountdownEscapeId); // an earlier refused attempt
            keys.grab(kEscapeKeysym, Qt::NoModifier, kCountdownEscapeId);
        }
    });
    // Queued like the shortcuts, so the cancel never runs inside the X event handling.
    connect(
        m_services.keyGrabber.get(), &GlobalKeyGrabber::pressed, this,
        [this](int id) {
            if (id == kCountdownEscapeId)
                m_screenshotManager->cancelDelayedCapture();
        },
        Qt::QueuedConnection);

    ViewServices views{m_screenshotManager,         m_authManager,   m_hotkeySettings,
                       m_shortcutRecorder,          m_hotkeyManager, m_services.clipboard.get(),
                       m_services.fileOpener.get(), m_textManager};
    views.edit = [this](const QString& path) { m_editorLauncher->open(path); };
    m_popover = new PopoverWindow(views);
    connect(m_popover, &PopoverWindow::pinToggled, this, [this] { setPinned(!m_isPinned); });
    // Queued, so the settings popup that asked has closed before teardown begins.
    connect(m_popover, &PopoverWindow::quitRequested, qApp, &QCoreApplication::quit,
            Qt::QueuedConnection);
    // Activation moves between the app's own windows (the popover, its inner popups, the
    // folder chooser) without passing through "none"; only leaving all of them means the
    // user went to another program.
    connect(qApp, &QGuiApplication::focusWindowChanged, this, &AppDelegate::onFocusWindowChanged);
    m_clock.start();

    m_monitorActive = m_services.mouseMonitor->start();
    connect(m_services.mouseMonitor.get(), &GlobalMouseMonitor::mousePressed, this,
            &AppDelegate::onGlobalMousePress);

    QPointer<AppDelegate> self(this);
    // A press queued before teardown finds no running delegate and does nothing.
    m_hotkeyManager->onCapture = [self](int id) {
        if (!self || appDelegateInstance() != self)
            return;
        const CaptureMode modes[] = {CaptureMode::FullScreen, CaptureMode::Area,
                                     CaptureMode::Window};
        self->m_screenshotManager->startCapture(modes[id - 1]);
    };
    m_hotkeyManager->onTile = [self](int position) {
        if (!self || appDelegateInstance() != self)
            return;
        self->m_windowTilingManager->tileWindow(allTilePositions().at(position));
    };
    m_hotkeyManager->registerHotkeys();
    m_finderCutManager->setEnabled(m_hotkeySettings->finderCutEnabled());
    m_finderCutManager->install();
    m_hotkeySettings->onHotkeysChanged = [self] {
        if (self)
            applyHotkeySettings(*self->m_hotkeySettings, *self->m_finderCutManager,
                                *self->m_hotkeyManager);
    };

    m_screenshotManager->onBeforeCapture = [self] {
        if (!self)
            return;
        self->closePopover();
        // Reading text waits while the capture runs, and a moment after it.
        self->m_textManager->captureStarted();
    };
    m_authManager->setOnLoginSuccess([self] {
        if (self)
            self->m_screenshotManager->performFullSync();
    });
    m_screenshotManager->loadScreenshots();
    m_screenshotManager->startWatchingScreenshots();
    m_screenshotManager->performFullSync();
    // A desktop without a tray host (GNOME without an extension) would show nothing at all.
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        showPopover();
}

void AppDelegate::applyHotkeySettings(const HotkeySettings& settings, FinderCutManager& cut,
                                      HotkeyManager& hotkeys)
{
    cut.setEnabled(settings.finderCutEnabled());
    hotkeys.reregisterHotkeys();
}

void AppDelegate::applicationWillTerminate()
{
    if (!m_launched || m_terminated)
        return;
    m_terminated = true;
    m_screenshotManager->stopWatchingScreenshots();
    m_finderCutManager->uninstall();
    m_services.mouseMonitor->stop();
    m_monitorActive = false;
    m_hotkeyManager->unregisterAllHotkeys();
    m_hotkeyManager->onCapture = nullptr;
    m_hotkeyManager->onTile = nullptr;
    m_hotkeySettings->onHotkeysChanged = nullptr;
    if (g_instance == this)
        g_instance = nullptr;
}

void AppDelegate::onGlobalMousePress(QPoint position)
{
    if (!m_popover)
        return;
    if (!m_popover->isVisible()) {
        m_dismissal.pressWhileClosed();
        return;
    }
    if (m_isPinned)
        return;
    const qreal ratio = m_popover->devicePixelRatioF();
    const QPoint logical(qRound(position.x() / ratio), qRound(position.y() / ratio));
    // The tray icon toggles the popover itself; closing here would reopen it at once.
    if (m_statusItem && m_statusItem->geometry().contains(logical))
        return;
    if (isOnOwnWindow(logical))
        return;
    dismissPopover();
}

void AppDelegate::onFocusWindowChanged(QWindow* focus)
{
    if (focus || !m_popover || !m_popover->isVisible() || m_isPinned)
        return;
    // A click elsewhere takes activation too; its press, read first, is the closing event.
    m_services.mouseMonitor->deliverPending();
    if (m_popover->isVisible())
        dismissPopover();
}

void AppDelegate::dismissPopover()
{
    m_popover->hide();
    m_dismissal.closedBySelf(m_clock.elapsed());
}

void AppDelegate::togglePopover()
{
    if (!m_popover || !m_statusItem)
        return;
    if (m_popover->isVisible()) {
        closePopover();
        return;
    }
    // A quick click reaches the tray (on another connection) as press and release before
    // its press is read here; the activation must be judged with that press known.
    m_services.mouseMonitor->deliverPending();
    if (m_dismissal.swallowsActivation(m_clock.elapsed()))
        return;
    showPopover();
}

void AppDelegate::openFromLauncher()
{
    if (!m_popover)
        return;
    // The launcher took the focus a moment ago, which closed the popover: that close is no
    // half of a tray click, so nothing is swallowed here.
    if (m_popover->isVisible() && QSystemTrayIcon::isSystemTrayAvailable())
        closePopover();
    else
        showPopover();
}

void AppDelegate::showPopover()
{
    m_dismissal.reset();
    m_popover->move(popoverPosition(m_statusItem->geometry(), PopoverWindow::kContentSize));
    m_popover->show();
    m_popover->raise();
    m_popover->activateWindow();
}

void AppDelegate::closePopover()
{
    m_dismissal.reset();
    if (m_popover && m_popover->isVisible())
        m_popover->hide();
}

void AppDelegate::setPinned(bool pinned)
{
    m_isPinned = pinned;
    if (m_popover)
        m_popover->setPinnedLook(pinned);
}

} // namespace glimra
