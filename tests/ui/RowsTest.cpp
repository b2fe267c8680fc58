// SPDX-License-Identifier: GPL-3.0-or-later
#include "ViewFixture.h"

#include "library/ServerScreenshotListModel.h"
#include "ui/RowListView.h"
#include "ui/ServerScreenshotRow.h"
#include "ui/TabContent.h"

#include <QAction>
#include <QFileInfo>
#include <QMenu>
#include <QTest>

namespace glimra::test {
namespace {

TEST(FormattedSizeTest, KilobytesUpTo1024ThenMegabytesWithOneDecimal)
{
    const std::pair<qint64, const char*> cases[] = {
        {511, "0 KB"},
        {1536, "2 KB"},
        {1048576, "1024 KB"},
        {1049600, "1.0 MB"},
        {1073741824, "1024.0 MB"},
    };
    for (const auto& [bytes, text] : cases)
        EXPECT_EQ(formattedSize(bytes), QString::fromLatin1(text)) << bytes;
}

class RowsTest : public ViewFixture {
protected:
    RowListView* localList() { return view().tabContent()->localList(); }
    RowListView* serverList() { return view().tabContent()->serverList(); }

    // A row's rectangle in viewport coordinates, after the list has laid out.
    QRect rowRect(RowListView* list, int row)
    {
        list->doItemsLayout();
        return list->visualRect(list->model()->index(row, 0));
    }
    QPoint buttonCentre(RowListView* list, int row, int position, int count)
    {
        return RowDelegate::buttonRect(rowRect(list, row), position, count).center();
    }
    static QStringList menuTexts(RowListView* list, int row)
    {
        QStringList texts;
        const auto menu = list->menuFor(list->model()->index(row, 0));
        for (QAction* action : menu->actions())
            texts.append(action->text() + (action->isEnabled() ? u""_s : u" (off)"_s));
        return texts;
    }
};

TEST_F(RowsTest, OnlyTheHoveredRowHasButtonsADoubleClickBesideThemOpensAndLeavingHidesThem)
{
    addScreenshots(3);
    RowListView* list = localList();
    QWidget* viewport = list->viewport();
    QTest::mouseMove(viewport, rowRect(list, 1).center());
    ASSERT_EQ(list->hoveredIndex().row(), 1);
    EXPECT_FALSE(list->buttonAt(buttonCentre(list, 0, 1, 2))) << "row 0 is not hovered";
    ASSERT_TRUE(list->buttonAt(buttonCentre(list, 1, 0, 2)) &&
                list->buttonAt(buttonCentre(list, 1, 1, 2)));
    EXPECT_EQ(list->buttonAt(buttonCentre(list, 1, 1, 2))->text, u"Delete"_s);
    // A double click opens the row, but not on its buttons.
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, buttonCentre(list, 1, 0, 2));
    EXPECT_TRUE(opener.opened.isEmpty());
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, rowRect(list, 1).center());
    EXPECT_EQ(opener.opened, QStringList{*manager.screenshots().at(1)->filePath});

    const ScreenshotItemPtr second = manager.screenshots().at(1);
    QTest::mouseClick(viewport, Qt::LeftButton, {}, buttonCentre(list, 1, 1, 2));
    EXPECT_FALSE(manager.screenshots().contains(second));
    EXPECT_EQ(manager.screenshots().size(), 2);
    // The row that moved up under the still pointer is the hovered one now.
    processEvents();
    EXPECT_EQ(list->hoveredIndex().row(), 1);
    manager.deleteScreenshot(manager.screenshots().at(0));
    processEvents();
    EXPECT_FALSE(list->hoveredIndex().isValid()) << "nothing is under the pointer any more";

    addScreenshots(3);
    QTest::mouseMove(viewport, rowRect(list, 0).center());
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(viewport, &leave);
    EXPECT_FALSE(list->hoveredIndex().isValid());
    EXPECT_FALSE(list->buttonAt(buttonCentre(list, 0, 1, 2)));
}

TEST_F(RowsTest, KeysActOnTheCurrentRow)
{
    addScreenshots(2);
    RowListView* list = localList();
    list->setFocus();
    list->setCurrentIndex(list->model()->index(1, 0));
    const ScreenshotItemPtr item = manager.screenshots().at(1);

    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_EQ(opener.opened, QStringList{*item->filePath});
    const quint64 before = clipboard.changeCount();
    QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(clipboard.changeCount(), before + 1);
    EXPECT_EQ(manager.statusMessage(), u"Copied to clipboard"_s);
    QTest::keyClick(list, Qt::Key_E, Qt::ControlModifier);
    EXPECT_EQ(edited, QStringList{*item->filePath});
    EXPECT_EQ(menuTexts(list, 1).filter(u"Edit"_s), QStringList{u"Edit\u2026"_s});
    QTest::keyClick(list, Qt::Key_Delete);
    EXPECT_FALSE(manager.screenshots().contains(item));
    EXPECT_FALSE(QFile::exists(*item->filePath));
}

TEST_F(RowsTest, ServerRowsOfferCopyAndOpenOnlyWithAReadableLibraryCopy)
{
    ASSERT_TRUE(writeImage(libraryFile(u"here.png"_s), makeTestImage(200, 100)));
    ASSERT_TRUE(writeFile(libraryFile(u"junk.png"_s), "not a picture"));
    ASSERT_TRUE(writeImage(home.path() + u"/outside.png"_s, makeTestImage(200, 100)));
    manager.setServerScreenshots({record(1, u"here.png"_s), record(2, u"gone.png"_s),
                                  record(3, u"junk.png"_s), record(4, u"../../outside.png"_s)});
    view().selectTab(true);
    RowListView* list = serverList();
    const auto decoded = [&](int row) {
        return list->model()->index(row, 0).data(ServerScreenshotListModel::HasLocalImageRole);
    };
    // The first look starts the decodes; they finish off the GUI thread.
    for (int row = 0; row < 4; ++row)
        decoded(row);
    ASSERT_TRUE(waitUntil([&] { return decoded(0).toBool(); }));
    processEvents();

    // Row by row: only a decoded copy opens; a name from the server never reaches outside
    // the library folder (row 3).
    const QStringList shares{u"Copy Share Link"_s, u"Revoke Share Links"_s,
                             u"Delete from Server"_s};
    const QStringList off = QStringList{u"Open (off)"_s} + shares;
    const QStringList menus[] = {QStringList{u"Open"_s, u"Copy Image"_s} + shares, off, off, off};
    for (int row = 0; row < 4; ++row)
        EXPECT_EQ(menuTexts(list, row), menus[row]) << row;

    const auto menu = list->menuFor(list->model()->index(1, 0));
    menu->actions().at(0)->trigger();
    menu->actions().last()->trigger();
    EXPECT_TRUE(opener.opened.isEmpty());
    EXPECT_EQ(sync.calls.filter(u"delete"_s), QStringList{u"delete 2"_s});
    // The copy makes the same offer as a library row's, whose confirmation clears the same way.
    list->menuFor(list->model()->index(0, 0))->actions().at(1)->trigger();
    EXPECT_EQ(manager.statusMessage(), u"Copied to clipboard"_s);
    EXPECT_FALSE(QImage::fromData(clipboard.dataFor(u"image/png"_s)).isNull());
}

TEST_F(RowsTest, ShareLinksAreForTheNewestServerCopyOfTheRowsNameAndGoToTheClipboard)
{
    addScreenshots(2);
    const QString name = QFileInfo(*manager.screenshots().at(0)->filePath).fileName();
    manager.setServerScreenshots({record(4, name), record(9, name), record(5, u"other.png"_s)});
    // Triggers the entry of that text, or the last of its submenu; false when there is none.
    const auto choose = [](RowListView* list, int row, const QString& text) {
        const auto menu = list->menuFor(list->model()->index(row, 0));
        for (QAction* action : menu->actions()) {
            if (action->text() == text) {
                (action->menu() ? action->menu()->actions().last() : action)->trigger();
                return true;
            }
        }
        return false;
    };
    // Only the row whose name the account holds offers them.
    ASSERT_FALSE(choose(localList(), 1, u"Copy Share Link"_s));
    ASSERT_TRUE(choose(localList(), 0, u"Copy Share Link"_s)); // the last lifetime: never
    EXPECT_EQ(QString::fromUtf8(clipboard.dataFor(u"text/plain"_s)), u"https://example.org/s/9"_s);
    EXPECT_EQ(manager.statusMessage(), u"Share link copied"_s);
    view().selectTab(true);
    ASSERT_TRUE(choose(serverList(), 2, u"Copy Share Link"_s));
    ASSERT_TRUE(choose(serverList(), 2, u"Revoke Share Links"_s));
    EXPECT_EQ(sync.calls.filter(u"share"_s),
              QStringList({u"share 9 0"_s, u"share 5 0"_s, u"unshare 5"_s}));
    EXPECT_EQ(manager.statusMessage(), u"Share links revoked"_s);
}

} // namespace
} // namespace glimra::test
