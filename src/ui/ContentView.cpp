// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ContentView.h"

#include "account/AuthManager.h"
#include "library/ScreenshotManager.h"
#include "shortcuts/HotkeySettings.h"
#include "ui/AccountView.h"
#include "ui/CaptureButton.h"
#include "ui/InnerPopover.h"
#include "ui/LibrarySearch.h"
#include "ui/LoginView.h"
#include "ui/SettingsView.h"
#include "ui/TabContent.h"
#include "ui/TextSettings.h"
#include "ui/ViewParts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QShortcut>
#include <QStackedWidget>
#include <QTabBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace glimra {

namespace {

constexpr int kSideMargin = 16;

} // namespace

std::optional<StatusIcon> statusIconFor(const QString& statusMessage)
{
    // Case matters: "Deleted from server" gets no icon, "3 screenshots deleted" does.
    if (statusMessage.contains(QLatin1String("failed")) ||
        statusMessage.contains(QLatin1String("Failed")))
        return StatusIcon{QStringLiteral("exclamationmark.circle.fill"), style::red()};
    if (statusMessage.contains(QLatin1String("Copied")) ||
        statusMessage.contains(QLatin1String("deleted")))
        return StatusIcon{QStringLiteral("checkmark.circle.fill"), style::green()};
    return std::nullopt;
}

ContentView::ContentView(const ViewServices& services, QWidget* parent)
    : QWidget(parent), m_services(services)
{
    setAccessibleName(QStringLiteral("Glimra"));
    ScreenshotManager* manager = services.screenshots;
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(buildHeader());
    layout->addWidget(parts::divider(this));
    layout->addWidget(buildCaptureRow());

    m_statusRow = new QWidget(this);
    m_statusRow->setObjectName(QStringLiteral("statusRow"));
    auto* status = new QHBoxLayout(m_statusRow);
    status->setContentsMargins(kSideMargin, 0, kSideMargin, 8);
    m_statusIcon = new QLabel(m_statusRow);
    m_statusIcon->setObjectName(QStringLiteral("statusIcon"));
    m_statusText = parts::label(QString(), style::font(style::TextStyle::Caption),
                                style::secondary(this), m_statusRow);
    m_statusText->setWordWrap(true);
    m_statusText->setAccessibleName(QStringLiteral("Status"));
    status->addWidget(m_statusIcon);
    status->addWidget(m_statusText, 1);
    m_cancelCapture = new QPushButton(QStringLiteral("Cancel"), m_statusRow);
    m_cancelCapture->setFont(style::font(style::TextStyle::Caption));
    connect(m_cancelCapture, &QPushButton::clicked, manager,
            &ScreenshotManager::cancelDelayedCapture);
    status->addWidget(m_cancelCapture);
    layout->addWidget(m_statusRow);

    m_tabBar = new QTabBar(this);
    m_tabBar->addTab(QStringLiteral("Local"));
    m_tabBar->addTab(QStringLiteral("Server"));
    m_tabBar->setExpanding(true);
    m_tabBar->setDocumentMode(true);
    m_tabBar->setDrawBase(false);
    m_tabBar->setAccessibleName(QStringLiteral("Screenshots to show"));
    auto* tabRow = new QHBoxLayout;
    tabRow->setContentsMargins(kSideMargin, 6, kSideMargin, 6);
    tabRow->addWidget(m_tabBar);
    layout->addLayout(tabRow);
    layout->addWidget(parts::divider(this));

    m_tabs = new TabContent(services, this);
    layout->addWidget(m_tabs, 1);
    layout->addWidget(parts::divider(this));
    layout->addWidget(buildFooter());

    connect(m_tabBar, &QTabBar::currentChanged, this, [this, manager](int index) {
        m_tabs->setServerTab(index == 1);
        // Only a change to the server tab fetches; going back to local keeps the listing.
        if (index == 1)
            manager->loadServerScreenshots();
    });
    connect(manager, &ScreenshotManager::statusMessageChanged, this, &ContentView::refreshStatus);
    connect(manager, &ScreenshotManager::captureCountdownChanged, this,
            &ContentView::refreshStatus);
    connect(manager, &ScreenshotManager::screenshotsChanged, this, &ContentView::refreshFooter);
    connect(manager, &ScreenshotManager::screenshotsReplaced, this, &ContentView::refreshFooter);
    connect(manager, &ScreenshotManager::lastSyncDateChanged, this, &ContentView::refreshFooter);
    connect(manager, &ScreenshotManager::autoCopyEnabledChanged, this, &ContentView::refreshFooter);
    connect(m_tabs, &TabContent::shownCountChanged, this, &ContentView::refreshFooter);
    // Ctrl+F goes to the search over the local list, from wherever the popover is.
    auto* find = new QShortcut(QKeySequence::Find, this);
    find->setContext(Qt::WidgetWithChildrenShortcut);
    connect(find, &QShortcut::activated, this, [this] {
        selectTab(false);
        m_tabs->searchField()->setFocus(Qt::ShortcutFocusReason);
        m_tabs->searchField()->selectAll();
    });
    if (services.hotkeys)
        connect(services.hotkeys, &HotkeySettings::bindingChanged, this,
                &ContentView::refreshShortcuts);
    refreshStatus();
    refreshShortcuts();
    refreshFooter();
}

QWidget* ContentView::buildHeader()
{
    auto* header = new QWidget(this);
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(kSideMargin, 12, kSideMargin, 12);
    const int iconSide = QFontMetrics(style::font(style::TextStyle::Title2)).height();
    auto* logo = new QLabel(header);
    logo->setPixmap(style::icon(u"camera.viewfinder").pixmap(QSize(iconSide, iconSide)));
    row->addWidget(logo);
    row->addWidget(parts::label(QStringLiteral("Glimra"), style::font(style::TextStyle::Headline),
                                QColor(), header));
    row->addStretch();

    m_pin = parts::iconButton(QStringLiteral("pin"), style::TextStyle::Caption,
                              QStringLiteral("Pin window to stay open"), header);
    m_pin->setToolTip(QStringLiteral("Pin window to stay open"));
    m_pin->setCheckable(true);
    connect(m_pin, &QToolButton::clicked, this, [this] {
        // The look follows the shell's answer, not the click.
        m_pin->setChecked(!m_pin->isChecked());
        Q_EMIT pinToggled();
    });
    m_settingsButton = parts::iconButton(QStringLiteral("gearshape"), style::TextStyle::Caption,
                                         QStringLiteral("Settings"), header);
    m_settingsButton->setToolTip(QStringLiteral("Settings"));
    connect(m_settingsButton, &QToolButton::clicked, this, &ContentView::toggleSettings);
    m_accountButton =
        parts::iconButton(QStringLiteral("person.circle.fill"), style::TextStyle::Title3,
                          QStringLiteral("Account"), header);
    connect(m_accountButton, &QToolButton::clicked, this, &ContentView::toggleAccount);
    row->addWidget(m_pin);
    row->addWidget(m_settingsButton);
    row->addWidget(m_accountButton);
    return header;
}

QWidget* ContentView::buildCaptureRow()
{
    auto* captureRow = new QWidget(this);
    auto* row = new QHBoxLayout(captureRow);
    row->setContentsMargins(kSideMargin, 10, kSideMargin, 10);
    row->setSpacing(8);
    ScreenshotManager* manager = m_services.screenshots;
    const struct {
        const char* title;
        const char* icon;
        CaptureMode mode;
    } buttons[] = {
        {"Full Screen", "rectangle", CaptureMode::FullScreen},
        {"Area", "rectangle.dashed", CaptureMode::Area},
        {"Window", "photo.on.rectangle.angled", CaptureMode::Window},
    };
    for (const auto& entry : buttons) {
        auto* button = new CaptureButton(QString::fromLatin1(entry.title),
                                         QString::fromLatin1(entry.icon), captureRow);
        connect(button, &CaptureButton::clicked, manager, [this, manager, mode = entry.mode] {
            manager->startCapture(mode, m_delay->currentData().toInt());
        });
        row->addWidget(button, 1);
        m_captureButtons.append(button);
    }
    m_delay = new QComboBox(captureRow);
    m_delay->setAccessibleName(QStringLiteral("Capture delay"));
    m_delay->setToolTip(QStringLiteral("Wait before capturing"));
    m_delay->setFont(style::font(style::TextStyle::Caption));
    for (const int seconds : {0, 3, 5, 10})
        m_delay->addItem(seconds ? QStringLiteral("%1 s").arg(seconds) : QStringLiteral("Off"),
                         seconds);
    row->addWidget(m_delay);
    return captureRow;
}

QWidget* ContentView::buildFooter()
{
    auto* footer = new QWidget(this);
    auto* column = new QVBoxLayout(footer);
    column->setContentsMargins(kSideMargin, 8, kSideMargin, 8);
    column->setSpacing(4);
    auto* row = new QHBoxLayout;
    m_autoCopy = new QCheckBox(QStringLiteral("Auto Copy"), footer);
    m_autoCopy->setFont(style::font(style::TextStyle::Caption));
    connect(m_autoCopy, &QCheckBox::toggled, m_services.screenshots,
            &ScreenshotManager::setAutoCopyEnabled);
    m_count = parts::label(QString(), style::font(style::TextStyle::Caption),
                           style::secondary(this), footer);
    m_count->setObjectName(QStringLiteral("screenshotCount"));
    row->addWidget(m_autoCopy);
    row->addStretch();
    row->addWidget(m_count);
    column->addLayout(row);
    m_lastSync = parts::label(QString(), style::systemFont(10), style::secondary(this), footer);
    m_lastSync->setObjectName(QStringLiteral("lastSync"));
    column->addWidget(m_lastSync);
    return footer;
}

void ContentView::refreshStatus()
{
    const QString text = m_services.screenshots->statusMessage();
    m_statusRow->setVisible(!text.isEmpty());
    m_statusText->setText(text);
    m_cancelCapture->setVisible(m_services.screenshots->captureCountdown() > 0);
    const auto icon = statusIconFor(text);
    m_statusIcon->setVisible(icon.has_value());
    if (icon) {
        const int side = QFontMetrics(font()).height();
        m_statusIcon->setPixmap(style::icon(icon->symbol, icon->colour).pixmap(QSize(side, side)));
        m_statusIcon->setAccessibleName(icon->colour == style::red() ? QStringLiteral("Error")
                                                                     : QStringLiteral("Done"));
    }
}

void ContentView::refreshShortcuts()
{
    for (int i = 0; i < m_captureButtons.size(); ++i) {
        const HotkeySettings* hotkeys = m_services.hotkeys;
        m_captureButtons.at(i)->setShortcutText(hotkeys ? hotkeys->binding(i + 1).displayString()
                                                        : QString());
    }
}

void ContentView::refreshFooter()
{
    const ScreenshotManager* manager = m_services.screenshots;
    {
        const QSignalBlocker quiet(m_autoCopy);
        m_autoCopy->setChecked(manager->autoCopyEnabled());
    }
    const auto total = manager->screenshots().size();
    // "12 of 2,000 screenshots" while a search narrows the list.
    m_count->setText(
        m_tabs->isSearching()
            ? QStringLiteral("%1 of %2 screenshots")
                  .arg(QLocale().toString(m_tabs->shownCount()), QLocale().toString(total))
            : QString::number(total) + QStringLiteral(" screenshots"));
    const auto lastSync = manager->lastSyncDate();
    m_lastSync->setVisible(lastSync.has_value());
    if (lastSync)
        m_lastSync->setText(QStringLiteral("Last sync: ") +
                            parts::timeOfDay(lastSync->toLocalTime().time()));
}

void ContentView::setPinnedLook(bool pinned)
{
    m_pin->setChecked(pinned);
    m_pin->setIcon(style::icon(pinned ? u"pin.fill" : u"pin"));
}

bool ContentView::isServerTabSelected() const
{
    return m_tabBar->currentIndex() == 1;
}

void ContentView::selectTab(bool server)
{
    m_tabBar->setCurrentIndex(server ? 1 : 0);
}

bool ContentView::showingSettings() const
{
    return m_settingsPopup && m_settingsPopup->isVisible();
}

bool ContentView::showingAccount() const
{
    return m_accountPopup && m_accountPopup->isVisible();
}

void ContentView::toggleSettings()
{
    if (showingSettings()) {
        m_settingsPopup->hide();
        return;
    }
    if (!m_settingsPopup) {
        auto* view = new SettingsView(m_services.hotkeys, m_services.recorder,
                                      m_services.hotkeyManager, m_services.screenshots);
        connect(view, &SettingsView::quitRequested, this, &ContentView::quitRequested);
        if (m_services.text)
            view->addSection(new TextSettings(m_services.text));
        m_settingsPopup = new InnerPopover(m_settingsButton, view, this);
    }
    m_settingsPopup->popUp();
}

void ContentView::toggleAccount()
{
    if (showingAccount()) {
        m_accountPopup->hide();
        return;
    }
    if (!m_services.auth)
        return;
    if (!m_accountPopup) {
        m_accountPages = new QStackedWidget;
        m_accountPages->addWidget(new LoginView(m_services.auth));
        m_accountPages->addWidget(new AccountView(m_services.auth));
        m_accountPopup = new InnerPopover(m_accountButton, m_accountPages, this);
        // A sign-in or sign-out while the popup is open swaps its view in place.
        connect(m_services.auth, &AuthManager::isLoggedInChanged, this,
                &ContentView::refreshAccountContent);
    }
    refreshAccountContent();
    m_accountPopup->popUp();
}

void ContentView::refreshAccountContent()
{
    if (!m_accountPages)
        return;
    m_accountPages->setCurrentIndex(m_services.auth->isLoggedIn() ? 1 : 0);
    // The stack is as large as its largest page; the popup fits the one shown.
    for (int i = 0; i < m_accountPages->count(); ++i)
        m_accountPages->widget(i)->setSizePolicy(
            i == m_accountPages->currentIndex() ? QSizePolicy::Preferred : QSizePolicy::Ignored,
            i == m_accountPages->currentIndex() ? QSizePolicy::Preferred : QSizePolicy::Ignored);
    m_accountPopup->refit();
}

QWidget* ContentView::accountContent() const
{
    return m_accountPages ? m_accountPages->currentWidget() : nullptr;
}

} // namespace glimra
