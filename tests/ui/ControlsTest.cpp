#include "ViewFixture.h"

#include "library/ServerScreenshotListModel.h"
#include "ui/CaptureButton.h"
#include "ui/RowListView.h"
#include "ui/Style.h"
#include "ui/TabContent.h"

#include <QAbstractButton>
#include <QFileInfo>
#include <QIcon>
#include <QSignalSpy>
#include <QTest>

namespace glimra::test {
namespace {

TEST(SymbolIconTest, EverySymbolDrawsSharplyWithoutAnIconTheme)
{
    QIcon::setThemeName(u"no-such-theme"_s);
    const char* symbols[] = {"camera.viewfinder",
                             "pin",
                             "pin.fill",
                             "gearshape",
                             "person.circle.fill",
                             "rectangle",
                             "rectangle.dashed",
                             "photo.on.rectangle.angled",
                             "exclamationmark.circle.fill",
                             "checkmark.circle.fill",
                             "cloud",
                             "cloud.fill",
                             "arrow.clockwise",
                             "doc.on.clipboard",
                             "trash",
                             "not.a.symbol"};
    for (const char* symbol : symbols) {
        const QIcon icon = style::icon(QString::fromLatin1(symbol));
        ASSERT_FALSE(icon.isNull()) << symbol;
        // At a scale of 2 the drawing gets twice the pixels, not a stretched small one.
        const QPixmap pixmap = icon.pixmap(QSize(16, 16), 2.0);
        EXPECT_EQ(pixmap.size(), QSize(32, 32)) << symbol;
        EXPECT_EQ(pixmap.devicePixelRatio(), 2.0) << symbol;
        const QImage image = pixmap.toImage();
        int painted = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                painted += qAlpha(image.pixel(x, y)) > 0;
        EXPECT_GT(painted, 20) << symbol;
    }
    // A tint is drawn in that colour, whatever the theme.
    const QImage red = style::icon(u"trash", style::red()).pixmap(QSize(16, 16), 1.0).toImage();
    bool sawRed = false;
    for (int y = 0; y < red.height(); ++y)
        for (int x = 0; x < red.width(); ++x)
            sawRed = sawRed || (qAlpha(red.pixel(x, y)) == 255 &&
                                QColor(red.pixel(x, y)).rgb() == style::red().rgb());
    EXPECT_TRUE(sawRed);
}

TEST_F(ViewFixture, CaptureButtonsShowTheirShortcutsAndFollowAChange)
{
    const QList<CaptureButton*> buttons = view().findChildren<CaptureButton*>();
    ASSERT_EQ(buttons.size(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(buttons.at(i)->shortcut(), hotkeys.binding(i + 1).displayString());
    EXPECT_EQ(buttons.at(1)->title(), u"Area"_s);
    HotkeyBinding binding = hotkeys.binding(2);
    binding.keyCode = hotkeys.binding(1).keyCode;
    hotkeys.setBinding(2, binding);
    EXPECT_EQ(buttons.at(1)->shortcut(), binding.displayString());
}

TEST_F(ViewFixture, ThePinAsksTheShellAndShowsOnlyWhatTheShellDecided)
{
    auto* pin = view().findChild<QAbstractButton*>();
    for (auto* button : view().findChildren<QAbstractButton*>())
        if (button->accessibleName() == u"Pin window to stay open"_s)
            pin = button;
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
    const QStringList expected = {u"Pin window to stay open"_s,
                                  u"Settings"_s,
                                  u"Account"_s,
                                  u"Full Screen"_s,
                                  u"Area"_s,
                                  u"Window"_s,
                                  u"Screenshots to show"_s,
                                  u"Local screenshots"_s,
                                  u"Select All & Delete"_s};
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

    const struct {
        int width;
        QDateTime modified;
    } versions[] = {{320, QDateTime::currentDateTime().addSecs(-60)},
                    {100, QDateTime::currentDateTime()}};
    for (const auto& version : versions) {
        ASSERT_TRUE(writeImage(path, makeTestImage(version.width, 100)));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        file.setFileTime(version.modified, QFileDevice::FileModificationTime);
        file.close();
        // The library notices the file and the row looks again.
        manager.loadScreenshots();
        const double aspect = version.width / 100.0;
        EXPECT_TRUE(waitUntil([&] {
            const QImage image = preview();
            return !image.isNull() &&
                   std::abs(double(image.width()) / image.height() - aspect) < 0.1;
        })) << version.width;
    }
    EXPECT_TRUE(row.data(ServerScreenshotListModel::HasLocalImageRole).toBool());
}

TEST_F(ViewFixture, ADoubleClickOpensALocalRowButNotOnItsButtons)
{
    addScreenshots(1);
    RowListView* list = view().tabContent()->localList();
    list->doItemsLayout();
    const QRect row = list->visualRect(list->model()->index(0, 0));
    QTest::mouseMove(list->viewport(), row.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {},
                       RowDelegate::buttonRect(row, 0, 2).center());
    EXPECT_TRUE(opener.opened.isEmpty());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, row.center());
    EXPECT_EQ(opener.opened, QStringList{*manager.screenshots().at(0)->filePath});
}

} // namespace
} // namespace glimra::test
