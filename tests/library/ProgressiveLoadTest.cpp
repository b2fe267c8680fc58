#include "ManagerFixture.h"

#include "core/Settings.h"
#include "core/ThumbnailFile.h"
#include "core/ThumbnailPaths.h"
#include "library/ScreenshotListModel.h"
#include "library/ThumbnailCache.h"

#include <QThread>

using namespace glimra;
using namespace glimra::test;

namespace {

class ProgressiveLoadTest : public ManagerFixture {
protected:
    // What the model told its views, one line a signal.
    void watch(ScreenshotListModel& model)
    {
        QStringList* log = &m_log;
        QObject::connect(&model, &QAbstractItemModel::rowsInserted,
                         [log](const QModelIndex&, int a, int b) {
                             log->append(u"insert %1-%2"_s.arg(a).arg(b));
                         });
        QObject::connect(&model, &QAbstractItemModel::rowsRemoved,
                         [log](const QModelIndex&, int a, int b) {
                             log->append(u"remove %1-%2"_s.arg(a).arg(b));
                         });
        QObject::connect(&model, &QAbstractItemModel::dataChanged,
                         [log](const QModelIndex& a, const QModelIndex& b, const QList<int>& r) {
                             if (!r.contains(Qt::DecorationRole))
                                 log->append(u"change %1-%2"_s.arg(a.row()).arg(b.row()));
                         });
        QObject::connect(&model, &QAbstractItemModel::modelReset,
                         [log] { log->append(u"reset"_s); });
    }

    QStringList m_log;
};

QStringList modelNames(const ScreenshotListModel& model)
{
    QStringList names;
    for (int row = 0; row < model.rowCount(); ++row)
        names.append(model.data(model.index(row), Qt::DisplayRole).toString());
    return names;
}

} // namespace

TEST_F(ProgressiveLoadTest, theListIsKnownAtOnceAndAFileThatFailsToDecodeIsDroppedLater)
{
    for (const QString& name : {u"a.png"_s, u"b.jpg"_s})
        ASSERT_TRUE(writeImage(libraryFile(name), makeTestImage(400, 300)));
    QThread::msleep(20);
    // It starts like a PNG, so the folder scan takes it, and decodes to nothing.
    ASSERT_TRUE(writeFile(libraryFile(u"damaged.png"_s),
                          encodeImage(makeTestImage(50, 40)).left(60) + QByteArray(300, '\x7f')));
    ScreenshotListModel model(&manager);
    watch(model);
    QList<ScreenshotItemPtr> removed;
    QObject::connect(&manager, &ScreenshotManager::itemRemoved,
                     [&](const ScreenshotItemPtr& item) { removed.append(item); });

    manager.loadScreenshots();
    qsizetype pendingAtLoad = -1;
    QObject::connect(&manager, &ScreenshotManager::libraryLoaded,
                     [&] { pendingAtLoad = manager.previewsPending(); });
    ASSERT_TRUE(waitUntil([&] { return manager.isLibraryLoaded(); }));
    // Known from their headers: all three, the damaged one first as the newest.
    EXPECT_EQ(pendingAtLoad, 3);
    ASSERT_TRUE(waitUntil([&] { return manager.previewsPending() == 0; }));
    EXPECT_EQ(listedNames().size(), 2);
    EXPECT_FALSE(listedNames().contains(u"damaged.png"_s));
    ASSERT_EQ(removed.size(), 1);
    EXPECT_EQ(QFileInfo(*removed[0]->filePath).fileName(), u"damaged.png"_s);
    EXPECT_EQ(m_log, (QStringList{u"reset"_s, u"remove 0-0"_s}));
    EXPECT_EQ(modelNames(model), listedNames());

    // Every preview is at hand now, from memory or from the cache it made.
    for (const ScreenshotItemPtr& item : manager.screenshots()) {
        const qint64 mtime = thumbnails::modificationTime(*item->filePath);
        EXPECT_FALSE(readCachedThumbnail(*item->filePath, mtime).isNull());
        EXPECT_TRUE(waitUntil([&] { return !manager.preview(item).isNull(); }));
    }
    EXPECT_TRUE(isRecordedUnreadable(libraryFile(u"damaged.png"_s),
                                     thumbnails::modificationTime(libraryFile(u"damaged.png"_s))));
}

TEST_F(ProgressiveLoadTest, eachChangeOfOneItemTouchesItsOneRow)
{
    for (const QString& name : {u"a.png"_s, u"b.png"_s, u"c.png"_s})
        ASSERT_TRUE(writeImage(libraryFile(name), makeTestImage(40, 30)));
    loadAndWait();
    ASSERT_TRUE(waitUntil([&] { return manager.previewsPending() == 0; }));
    ScreenshotListModel model(&manager);
    watch(model);
    const QDateTime newest = manager.screenshots().constFirst()->date;
    const QDateTime oldest = manager.screenshots().constLast()->date;
    auto made = [](const QDateTime& date, const QString& name) {
        return std::make_shared<ScreenshotItem>(makeTestImage(40, 30), date, SyncStatus::Synced,
                                                u"7"_s, u"/nowhere/"_s + name, std::nullopt);
    };
    struct Step {
        const char* name;
        std::function<void()> act;
        QStringList signalsSent;
    };
    const Step steps[] = {
        {"a download newer than all goes on top",
         [&] { manager.insertItemByDate(made(newest.addSecs(60), u"top.png"_s)); },
         {u"insert 0-0"_s}},
        {"one older than all goes to the bottom",
         [&] { manager.insertItemByDate(made(oldest.addSecs(-60), u"bottom.png"_s)); },
         {u"insert 4-4"_s}},
        {"a deletion removes its row",
         [&] { manager.deleteScreenshot(manager.screenshots().at(2)); },
         {u"remove 2-2"_s}},
        {"a change in place repaints its row",
         [&] { manager.notifyItemChanged(manager.screenshots().at(1)); },
         {u"change 1-1"_s}},
        {"removing by path takes only the rows named",
         [&] {
             manager.removeItemsWithPaths({u"/nowhere/top.png"_s, u"/nowhere/bottom.png"_s});
         },
         {u"remove 0-0"_s, u"remove 2-2"_s}},
    };
    for (const Step& step : steps) {
        m_log.clear();
        step.act();
        EXPECT_EQ(m_log, step.signalsSent) << step.name;
        EXPECT_EQ(modelNames(model), listedNames()) << step.name;
    }
    // A new item's picture went to the preview store, not into a second copy on the item.
    const ScreenshotItemPtr added = made(newest.addSecs(120), u"new.png"_s);
    manager.insertItemByDate(added);
    EXPECT_TRUE(added->image.isNull());
    EXPECT_FALSE(manager.preview(added).isNull());
    EXPECT_FALSE(model.data(model.index(0), Qt::DecorationRole).value<QImage>().isNull());
}

TEST_F(ProgressiveLoadTest, aCaptureTakesItsPreviewFromTheCacheEntryTheToolWrote)
{
    // The stand-in tool writes a blue-and-white file and a plain red cache entry for it: a red
    // preview shows the file was not decoded again.
    const QString sample = home.path() + u"/sample.png"_s;
    ASSERT_TRUE(makeTestImage(400, 300, 0xff0000ff).save(sample));
    const QString tool = home.path() + u"/fake-capture"_s;
    ASSERT_TRUE(writeScript(tool, uR"sh(for last in "$@"; do :; done
cp '%1' "$last"
uri="file://$last"
dir="$XDG_CACHE_HOME/thumbnails/large"
mkdir -p "$dir"
convert -size 32x24 xc:red -set Thumb::URI "$uri" -set Thumb::MTime "$(stat -c %Y "$last")" \
    "PNG24:$dir/$(printf %s "$uri" | md5sum | cut -c1-32).png"
)sh"_s.arg(sample)
                                      .toUtf8()));
    openSettings()->setValue(settings::kCaptureTool, tool);

    ScreenshotItemPtr captured;
    QObject::connect(
        &manager, &ScreenshotManager::captureFinished,
        [&](quint64, const ScreenshotItemPtr& item, const QString&) { captured = item; });
    manager.captureFullScreen();
    ASSERT_TRUE(waitUntil([&] { return captured != nullptr; }, std::chrono::seconds(10)));
    EXPECT_EQ(manager.preview(captured).pixelColor(10, 10), QColor(Qt::red));
    EXPECT_EQ(QImage(*captured->filePath).size(), QSize(400, 300));
}
