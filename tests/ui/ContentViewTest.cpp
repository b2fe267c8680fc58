#include "ViewFixture.h"

#include "ui/Style.h"
#include "ui/TabContent.h"

#include <QAbstractButton>
#include <QLabel>
#include <QTabBar>
#include <QTest>

namespace glimra::test {
namespace {

using Page = TabContent::Page;

TEST(StatusIconTest, FailuresAreRedConfirmationsGreenAndTheTestIsCaseSensitive)
{
    enum Icon { None, Red, Green };
    const struct {
        const char* text;
        Icon icon;
    } cases[] = {
        {"Capture failed: tool exited", Red},
        {"Failed to import screenshot", Red},
        {"Delete failed", Red},
        {"Copied to clipboard", Green},
        {"Screenshot deleted", Green},
        {"3 screenshots deleted", Green},
        {"Deleted from server", None},
        {"Capturing full screen...", None},
        {"Upload failed, 2 screenshots deleted", Red},
        {"", None},
    };
    for (const auto& c : cases) {
        const auto icon = statusIconFor(QString::fromUtf8(c.text));
        const Icon got = !icon ? None : icon->colour == style::red() ? Red : Green;
        EXPECT_EQ(got, c.icon) << c.text;
    }
}

TEST_F(ViewFixture, TheStatusRowTakesNoSpaceWhileTheLineIsEmpty)
{
    auto* row = view().findChild<QWidget*>(u"statusRow"_s);
    auto* icon = view().findChild<QLabel*>(u"statusIcon"_s);
    EXPECT_FALSE(row->isVisible());
    manager.setStatusMessage(u"Delete failed"_s);
    EXPECT_TRUE(row->isVisible());
    EXPECT_TRUE(icon->isVisible());
    manager.setStatusMessage(u"Capturing area..."_s);
    EXPECT_TRUE(row->isVisible());
    EXPECT_FALSE(icon->isVisible());
    manager.setStatusMessage(QString());
    EXPECT_FALSE(row->isVisible());
}

TEST_F(ViewFixture, EachTabShowsItsEmptyLoadingOrListStateAndBarsOnlyUnderAList)
{
    const struct {
        bool server;
        int local;
        bool loading;
        int records;
        Page page;
    } cases[] = {
        {false, 0, false, 0, Page::LocalEmpty},
        {false, 2, false, 0, Page::LocalList},
        {false, 0, true, 3, Page::LocalEmpty},
        {true, 2, false, 0, Page::ServerEmpty},
        {true, 0, false, 2, Page::ServerList},
        // Loading hides a list fetched before.
        {true, 0, true, 2, Page::Loading},
        {true, 0, true, 0, Page::Loading},
    };
    for (const auto& c : cases) {
        manager.deleteScreenshots(manager.screenshots());
        if (c.local)
            addScreenshots(c.local);
        QList<ServerScreenshot> records;
        for (int i = 0; i < c.records; ++i)
            records.append(record(i + 1, u"r%1.png"_s.arg(i)));
        manager.setServerScreenshots(records);
        manager.setLoadingServer(c.loading);
        view().selectTab(c.server);
        TabContent* tabs = view().tabContent();
        EXPECT_EQ(tabs->page(), c.page) << c.server << c.local << c.loading << c.records;
        const QString barText = c.server ? u"Delete All from Server"_s : u"Select All & Delete"_s;
        bool barShown = false;
        for (auto* button : tabs->findChildren<QAbstractButton*>())
            barShown = barShown || (button->accessibleName() == barText && button->isVisible());
        EXPECT_EQ(barShown, c.page == Page::LocalList || c.page == Page::ServerList);
    }
}

TEST_F(ViewFixture, TheServerPlaceholderAsksToSignInOnlyWhileSignedOut)
{
    makeAuth(u"token"_s); // the check fails against a silent server and signs out
    view().selectTab(true);
    EXPECT_TRUE(auth->isLoggedIn());
    EXPECT_FALSE(view().tabContent()->signInHint()->isVisible());
    ASSERT_TRUE(waitUntil([&] { return !auth->isLoggedIn(); }));
    EXPECT_TRUE(view().tabContent()->signInHint()->isVisible());
    EXPECT_EQ(view().tabContent()->signInHint()->text(), u"Log in to see server screenshots"_s);
}

TEST_F(ViewFixture, FooterCountsWithoutASingularAndShowsTheLastSyncOnceThereIsOne)
{
    auto* count = view().findChild<QLabel*>(u"screenshotCount"_s);
    auto* lastSync = view().findChild<QLabel*>(u"lastSync"_s);
    EXPECT_EQ(count->text(), u"0 screenshots"_s);
    EXPECT_FALSE(lastSync->isVisible());
    addScreenshots(1);
    EXPECT_EQ(count->text(), u"1 screenshots"_s);
    addScreenshots(2);
    EXPECT_EQ(count->text(), u"2 screenshots"_s);
    manager.setLastSyncDate(QDateTime(QDate(2026, 1, 2), QTime(14, 5, 33)));
    EXPECT_TRUE(lastSync->isVisible());
    EXPECT_TRUE(lastSync->text().startsWith(u"Last sync: "_s));
    EXPECT_TRUE(lastSync->text().contains(u"05"_s));
    EXPECT_FALSE(lastSync->text().contains(u"33"_s)) << "hours and minutes only";
}

TEST_F(ViewFixture, OnlyAChangeToTheServerTabAndRefreshFetchTheListing)
{
    view();
    EXPECT_EQ(sync.loads, 0);
    auto* tabBar = view().findChild<QTabBar*>();
    const int server = 1, local = 0;
    const int steps[][2] = {{server, 1}, {server, 1}, {local, 1}, {server, 2}};
    for (const auto& [tab, loads] : steps) {
        tabBar->setCurrentIndex(tab);
        EXPECT_EQ(sync.loads, loads) << tab;
    }
    manager.setServerScreenshots({record(1, u"a.png"_s), record(2, u"b.png"_s)});
    for (auto* button : view().tabContent()->findChildren<QAbstractButton*>()) {
        if (button->accessibleName() == u"Refresh"_s)
            QTest::mouseClick(button, Qt::LeftButton);
        if (button->accessibleName() == u"Delete All from Server"_s)
            QTest::mouseClick(button, Qt::LeftButton);
    }
    EXPECT_EQ(sync.loads, 3);
    EXPECT_EQ(sync.deleted, (QList<qint64>{1, 2}));
}

TEST_F(ViewFixture, TheAccountPopupFollowsTheSessionWhileItIsOpen)
{
    makeAuth(u"token"_s);
    view().toggleAccount();
    ASSERT_TRUE(view().showingAccount());
    EXPECT_STREQ(view().accountContent()->metaObject()->className(), "glimra::AccountView");
    ASSERT_TRUE(waitUntil([&] { return !auth->isLoggedIn(); }));
    EXPECT_TRUE(view().showingAccount());
    EXPECT_STREQ(view().accountContent()->metaObject()->className(), "glimra::LoginView");
    view().toggleAccount();
    EXPECT_FALSE(view().showingAccount());
}

} // namespace
} // namespace glimra::test
