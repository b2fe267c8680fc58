// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/TabContent.h"

#include "account/AuthManager.h"
#include "library/ScreenshotListModel.h"
#include "library/ScreenshotManager.h"
#include "library/ServerScreenshotListModel.h"
#include "ui/LibrarySearch.h"
#include "ui/RowListView.h"
#include "ui/ScreenshotThumbnail.h"
#include "ui/ServerScreenshotRow.h"
#include "ui/ViewParts.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QStackedLayout>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace glimra {

namespace {

// The placeholder's picture, drawn again when the palette changes: the desktop may switch
// between a light and a dark theme while we run.
class SymbolLabel final : public QLabel {
public:
    SymbolLabel(const QString& symbol, int side, QWidget* parent)
        : QLabel(parent), m_symbol(symbol), m_side(side)
    {
        setAlignment(Qt::AlignCenter);
        redraw();
    }

protected:
    void changeEvent(QEvent* event) override
    {
        if (event->type() == QEvent::PaletteChange ||
            event->type() == QEvent::ApplicationPaletteChange)
            redraw();
        QLabel::changeEvent(event);
    }

private:
    void redraw()
    {
        setPixmap(style::icon(m_symbol, style::secondary(this)).pixmap(QSize(m_side, m_side)));
    }

    QString m_symbol;
    int m_side;
};

// An indeterminate progress spinner; it only turns while it is shown.
class Spinner final : public QWidget {
public:
    explicit Spinner(QWidget* parent) : QWidget(parent)
    {
        setFixedSize(24, 24);
        setAccessibleName(QStringLiteral("Loading"));
        m_timer.setInterval(50);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            m_angle = (m_angle + 30) % 360;
            update();
        });
    }

protected:
    void showEvent(QShowEvent*) override { m_timer.start(); }
    void hideEvent(QHideEvent*) override { m_timer.stop(); }
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(style::secondary(this), 2.5, Qt::SolidLine, Qt::RoundCap));
        painter.drawArc(QRectF(rect()).adjusted(3, 3, -3, -3), -m_angle * 16, 270 * 16);
    }

private:
    QTimer m_timer;
    int m_angle = 0;
};

} // namespace

TabContent::TabContent(const ViewServices& services, QWidget* parent)
    : QWidget(parent), m_services(services), m_pages(new QStackedLayout(this)),
      m_localList(
          new RowListView(new ScreenshotThumbnail(services.screenshots, services.opener), this)),
      m_serverRows(
          new ServerScreenshotRow(services.screenshots, services.clipboard, services.opener)),
      m_serverList(new RowListView(m_serverRows, this))
{
    ScreenshotManager* manager = services.screenshots;
    static_cast<ScreenshotThumbnail*>(m_localList->rowDelegate())
        ->setTextServices(services.text, services.clipboard);
    static_cast<ScreenshotThumbnail*>(m_localList->rowDelegate())->setEditor(services.edit);
    auto* localModel = new LocalRowsModel(this);
    m_filter = new SearchFilterModel(localModel);
    m_filter->setSourceModel(new ScreenshotListModel(manager, m_filter));
    localModel->setSourceModel(m_filter);
    m_localList->setModel(localModel);
    m_localList->setAccessibleName(QStringLiteral("Local screenshots"));
    m_serverList->setModel(new ServerScreenshotListModel(manager, this));
    m_serverList->setAccessibleName(QStringLiteral("Server screenshots"));

    auto* deleteAll = parts::plainButton(QStringLiteral("Select All & Delete"),
                                         style::TextStyle::Caption, style::red(), this);
    connect(deleteAll, &QToolButton::clicked, manager,
            [manager] { manager->deleteScreenshots(manager->screenshots()); });
    m_deleteAll = deleteAll;
    auto* deleteServer = parts::plainButton(QStringLiteral("Delete All from Server"),
                                            style::TextStyle::Caption, style::red(), this);
    connect(deleteServer, &QToolButton::clicked, manager, [manager] {
        // A copy: each deletion may change the list while this goes through it.
        const QList<ServerScreenshot> records = manager->serverScreenshots();
        for (const ServerScreenshot& record : records)
            manager->deleteServerScreenshot(record);
    });
    auto* refreshButton =
        parts::iconButton(QStringLiteral("arrow.clockwise"), style::TextStyle::Caption,
                          QStringLiteral("Refresh"), this);
    refreshButton->setToolTip(QStringLiteral("Refresh"));
    connect(refreshButton, &QToolButton::clicked, manager,
            &ScreenshotManager::loadServerScreenshots);

    m_pages->addWidget(buildEmptyState(
        QStringLiteral("photo.on.rectangle.angled"), QStringLiteral("No screenshots yet"),
        QStringLiteral("Use the buttons above or keyboard shortcuts"), nullptr));
    QWidget* localPage = buildList(m_localList, {deleteAll});
    m_searchField = new SearchField(m_filter, services.text, localPage);
    auto* searchRow = new QHBoxLayout;
    searchRow->setContentsMargins(12, 6, 12, 0);
    searchRow->addWidget(m_searchField);
    static_cast<QVBoxLayout*>(localPage->layout())->insertLayout(0, searchRow);
    // "Select All & Delete" would take the whole library, and the account's copies, while
    // the list shows only the matches: it is not offered during a search.
    connect(m_searchField, &SearchField::filterChanged, this, [this] {
        m_deleteAll->setVisible(!isSearching());
        Q_EMIT shownCountChanged();
    });
    m_pages->addWidget(localPage);
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(m_filter, signal, this, &TabContent::shownCountChanged);
    connect(m_filter, &QAbstractItemModel::modelReset, this, &TabContent::shownCountChanged);
    m_pages->addWidget(buildLoadingState());
    m_pages->addWidget(
        buildEmptyState(QStringLiteral("cloud"), QStringLiteral("No screenshots on server"),
                        QStringLiteral("Log in to see server screenshots"), &m_signInHint));
    m_pages->addWidget(buildList(m_serverList, {deleteServer, nullptr, refreshButton}));

    for (auto signal :
         {&ScreenshotManager::screenshotsChanged, &ScreenshotManager::screenshotsReplaced,
          &ScreenshotManager::serverScreenshotsChanged, &ScreenshotManager::isLoadingServerChanged})
        connect(manager, signal, this, &TabContent::refresh);
    if (services.auth)
        connect(services.auth, &AuthManager::isLoggedInChanged, this, &TabContent::refresh);
    refresh();
}

QWidget* TabContent::buildEmptyState(const QString& symbol, const QString& title,
                                     const QString& hint, QLabel** hintLabel)
{
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    layout->setSpacing(8);
    layout->addStretch();
    const int side = QFontMetrics(style::systemFont(40)).height();
    auto* image = new SymbolLabel(symbol, side, page);
    image->setObjectName(QStringLiteral("emptyImage"));
    layout->addWidget(image);
    auto* heading =
        parts::label(title, style::font(style::TextStyle::Headline), style::secondary(this), page);
    heading->setAlignment(Qt::AlignCenter);
    layout->addWidget(heading);
    auto* hintText = parts::label(hint, style::font(style::TextStyle::Caption),
                                  style::secondary(this, 0.7), page);
    hintText->setAlignment(Qt::AlignCenter);
    hintText->setWordWrap(true);
    layout->addWidget(hintText);
    layout->addStretch();
    if (hintLabel)
        *hintLabel = hintText;
    return page;
}

QWidget* TabContent::buildLoadingState()
{
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    layout->setSpacing(8);
    layout->addStretch();
    layout->addWidget(new Spinner(page), 0, Qt::AlignHCenter);
    auto* text = parts::label(QStringLiteral("Loading server screenshots..."),
                              style::font(style::TextStyle::Caption), style::secondary(this), page);
    text->setAlignment(Qt::AlignCenter);
    layout->addWidget(text);
    layout->addStretch();
    return page;
}

QWidget* TabContent::buildList(RowListView* list, const QList<QToolButton*>& bar)
{
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    list->setParent(page);
    layout->addWidget(list, 1);
    layout->addWidget(parts::divider(page));
    auto* row = new QHBoxLayout;
    row->setContentsMargins(16, 6, 16, 6);
    row->setSpacing(12);
    // A null entry is where the flexible space goes; without one it goes last.
    bool stretched = false;
    for (QToolButton* button : bar) {
        if (button) {
            button->setParent(page);
            row->addWidget(button);
        } else {
            row->addStretch();
            stretched = true;
        }
    }
    if (!stretched)
        row->addStretch();
    layout->addLayout(row);
    return page;
}

bool TabContent::isSearching() const
{
    return m_filter->isActive();
}

int TabContent::shownCount() const
{
    return m_filter->rowCount();
}

TabContent::Page TabContent::page() const
{
    return static_cast<Page>(m_pages->currentIndex());
}

void TabContent::setServerTab(bool server)
{
    m_serverTab = server;
    refresh();
}

void TabContent::refresh()
{
    const ScreenshotManager* manager = m_services.screenshots;
    Page page;
    if (!m_serverTab)
        page = manager->screenshots().isEmpty() ? Page::LocalEmpty : Page::LocalList;
    else if (manager->isLoadingServer())
        page = Page::Loading;
    else
        page = manager->serverScreenshots().isEmpty() ? Page::ServerEmpty : Page::ServerList;
    m_signInHint->setVisible(!(m_services.auth && m_services.auth->isLoggedIn()));
    m_pages->setCurrentIndex(static_cast<int>(page));
}

} // namespace glimra
