// SPDX-License-Identifier: GPL-3.0-or-later
#include "ViewFixture.h"

#include "library/ServerScreenshotListModel.h"
#include "ui/CaptureButton.h"
#include "ui/RowListView.h"
#include "ui/Style.h"
#include "ui/TabContent.h"

#include <QAbstractButton>
#include <QApplication>
#include <QIcon>
#include <QLabel>
#include <QSignalSpy>
#include <QTabBar>
#include <QTest>

namespace glimra::test {
namespace {

using Page = TabContent::Page;

int pixels(const QPixmap& pixmap, const std::function<bool(QRgb)>& counted)
{
    const QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += counted(image.pixel(x, y));
    return count;
}

// The icon's colour is decided by case-sensitive words; the row takes no space while empty.
TEST_F(ViewFixture, TheStatusRowShowsFailuresRedAndConfirmationsGreenAndHidesWhenEmpty)
{
    enum Icon { None, Red, Green };
    const std::pair<const char*, Icon> cases[] = {
        {"", None},
        {"Capture failed: tool exited", Red},
        {"Failed to import screenshot", Red},
        {"Copied to clipboard", Green},
        {"Screenshot deleted", Green},
        {"Deleted from server", None},
        {"Upload failed, 2 screenshots deleted", Red},
        {"", None},
    };
    auto* row = view().findChild<QWidget*>(u"statusRow"_s);
    auto* shown = view().findChild<QLabel*>(u"statusIcon"_s);
    for (const auto& [text, expected] : cases) {
        const auto icon = statusIconFor(QString::fromUtf8(text));
        EXPECT_EQ(!icon ? None : icon->colour == style::red() ? Red : Green, expected) << text;
        manager.setStatusMessage(QString::fromUtf8(text));
        EXPECT_EQ(std::pair(row->isVisible(), shown->isVisible()),
                  std::pair(*text != 0, expected != None))
            << text;
    }
}

TEST_F(ViewFixture, EachTabShowsItsEmptyLoadingOrListStateAndBarsOnlyUnderAList)
{
    // The server tab; local screenshots; loading; server records; the page shown.
    const std::tuple<bool, int, bool, int, Page> cases[] = {
        {false, 0, false, 0, Page::LocalEmpty},
        {false, 2, false, 0, Page::LocalList},
        {false, 0, true, 3, Page::LocalEmpty},
        {true, 2, false, 0, Page::ServerEmpty},
        {true, 0, false, 2, Page::ServerList},
        // Loading hides a list fetched before.
        {true, 0, true, 2, Page::Loading},
        {true, 0, true, 0, Page::Loading},
    };
    for (const auto& [server, local, loading, records, page] : cases) {
        manager.deleteScreenshots(manager.screenshots());
        if (local)
            addScreenshots(local);
        QList<ServerScreenshot> listed;
        for (int i = 0; i < records; ++i)
            listed.append(record(i + 1, u"r%1.png"_s.arg(i)));
        manager.setServerScreenshots(listed);
        manager.setLoadingServer(loading);
        view().selectTab(server);
        EXPECT_EQ(view().tabContent()->page(), page) << server << local << loading << records;
        const QString bar = server ? u"Delete All from Server"_s : u"Select All & Delete"_s;
        EXPECT_EQ(button(bar)->isVisible(), page == Page::LocalList || page == Page::ServerList);
    }
}

TEST_F(ViewFixture, TheServerPlaceholderAndTheAccountPopupFollowTheSession)
{
    makeAuth(u"token"_s); // the check fails against a silent server and signs out
    view().selectTab(true);
    view().toggleAccount();
    ASSERT_TRUE(view().showingAccount());
    EXPECT_TRUE(auth->isLoggedIn() && !view().tabContent()->signInHint()->isVisible());
    EXPECT_STREQ(view().accountContent()->metaObject()->className(), "glimra::AccountView");
    ASSERT_TRUE(waitUntil([&] { return !auth->isLoggedIn(); }));
    EXPECT_TRUE(view().tabContent()->signInHint()->isVisible() && view().showingAccount());
    EXPECT_STREQ(view().accountContent()->metaObject()->className(), "glimra::LoginView");
    view().toggleAccount();
    EXPECT_FALSE(view().showingAccount());
}

TEST_F(ViewFixture, OnlyAChangeToTheServerTabAndRefreshFetchTheListing)
{
    view();
    EXPECT_EQ(sync.calls.count(u"list"_s), 0);
    auto* tabBar = view().findChild<QTabBar*>();
    const int server = 1, local = 0;
    const int steps[][2] = {{server, 1}, {server, 1}, {local, 1}, {server, 2}};
    for (const auto& [tab, loads] : steps) {
        tabBar->setCurrentIndex(tab);
        EXPECT_EQ(sync.calls.count(u"list"_s), loads) << tab;
    }
    manager.setServerScreenshots({record(1, u"a.png"_s), record(2, u"b.png"_s)});
    QTest::mouseClick(button(u"Refresh"_s), Qt::LeftButton);
    QTest::mouseClick(button(u"Delete All from Server"_s), Qt::LeftButton);
    EXPECT_EQ(sync.calls.count(u"list"_s), 3);
    EXPECT_EQ(sync.calls.filter(u"delete"_s), (QStringList{u"delete 1"_s, u"delete 2"_s}));
}

TEST(SymbolIconTest, EverySymbolDrawsSharplyWithoutAnIconTheme)
{
    QIcon::setThemeName(u"no-such-theme"_s);
    const QStringList symbols =
        u"camera.viewfinder pin pin.fill gearshape person.circle.fill rectangle rectangle.dashed "
        "photo.on.rectangle.angled exclamationmark.circle.fill checkmark.circle.fill cloud "
        "cloud.fill arrow.clockwise doc.on.clipboard trash not.a.symbol"_s.split(u' ');
    for (const QString& name : symbols) {
        const std::string symbol = name.toStdString();
        // At a scale of 2 the drawing gets twice the pixels, not a stretched small one.
        const QPixmap pixmap = style::icon(name).pixmap(QSize(16, 16), 2.0);
        EXPECT_EQ(pixmap.size(), QSize(32, 32)) << symbol;
        EXPECT_EQ(pixmap.devicePixelRatio(), 2.0) << symbol;
        EXPECT_GT(pixels(pixmap, [](QRgb p) { return qAlpha(p) > 0; }), 20) << symbol;
    }
    // A tint is drawn in that colour, whatever the theme.
    const QPixmap red = style::icon(u"trash", style::red()).pixmap(QSize(16, 16), 1.0);
    EXPECT_GT(pixels(red, [](QRgb p) { return p == style::red().rgba(); }), 0);
}

TEST_F(ViewFixture, CaptureButtonsShowTheirShortcutsAndThePinOnlyWhatTheShellDecided)
{
    const QList<CaptureButton*> buttons = view().findChildren<CaptureButton*>();
    ASSERT_EQ(buttons.size(), 3);
    hotkeys.setBinding(2, {20, 768, u"area"_s});
    EXPECT_EQ(buttons.at(1)->shortcut(), u"Shift+Super+3"_s);

    // The pin asks the shell and shows only what the shell decided.
    QAbstractButton* pin = button(u"Pin window to stay open"_s);
    QSignalSpy asked(&view(), &ContentView::pinToggled);
    QTest::mouseClick(pin, Qt::LeftButton);
    EXPECT_EQ(asked.size(), 1);
    EXPECT_FALSE(pin->isChecked());
    view().setPinnedLook(true);
    EXPECT_TRUE(pin->isChecked());
}

TEST_F(ViewFixture, TabMovesThroughTheControlsInReadingOrder)
{
    addScreenshots(1);
    view().activateWindow();
    QStringList order;
    QWidget* start = view().findChildren<QAbstractButton*>().first();
    start->setFocus();
    for (QWidget* at = start; order.size() < 12; at = at->nextInFocusChain()) {
        if (at->isVisible() && at->isEnabled() && (at->focusPolicy() & Qt::TabFocus) &&
            !at->accessibleName().isEmpty())
            order.append(at->accessibleName());
        if (at->nextInFocusChain() == start)
            break;
    }
    const QStringList expected =
        u"Pin window to stay open|Settings|Account|Full Screen|Area|"
        u"Window|Capture delay|Screenshots to show|Local screenshots|Select All & Delete"_s.split(
            u'|');
    EXPECT_EQ(order.mid(0, expected.size()), expected);
}

TEST_F(ViewFixture, AServerRowGetsItsPictureWhenTheFileArrivesAndAgainWhenItChanges)
{
    const QString path = libraryFile(u"later.png"_s);
    manager.setServerScreenshots({record(1, u"later.png"_s)});
    view().selectTab(true);
    const QModelIndex row = view().tabContent()->serverList()->model()->index(0, 0);
    const auto preview = [&] { return row.data(Qt::DecorationRole).value<QImage>(); };
    EXPECT_TRUE(preview().isNull());
    EXPECT_FALSE(row.data(ServerScreenshotListModel::HasLocalImageRole).toBool());

    // A wide picture, then a square one written a minute later.
    for (const auto& [width, age] : {std::pair{320, -60}, {100, 0}}) {
        ASSERT_TRUE(writeImage(path, makeTestImage(width, 100)));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        file.setFileTime(QDateTime::currentDateTime().addSecs(age),
                         QFileDevice::FileModificationTime);
        file.close();
        // The library notices the file and the row looks again.
        manager.loadScreenshots();
        EXPECT_TRUE(waitUntil([&] {
            const QImage image = preview();
            return !image.isNull() &&
                   std::abs(double(image.width()) / image.height() - width / 100.0) < 0.1;
        })) << width;
    }
    EXPECT_TRUE(row.data(ServerScreenshotListModel::HasLocalImageRole).toBool());
}

} // namespace
} // namespace glimra::test
