// SPDX-License-Identifier: GPL-3.0-or-later
#include "ManagerFixture.h"

#include "core/ThumbnailFile.h"
#include "library/ScreenshotListModel.h"
#include "library/StatusLine.h"
#include "library/ThumbnailCache.h"

#include <QBuffer>
#include <QImageReader>
#include <QThread>

#include <cmath>

namespace {

class ScreenshotManagerTest : public ManagerFixture {
protected:
    // What the model told its views, one line a signal.
    void watch(ScreenshotListModel& model)
    {
        const auto rows = [this](const QString& what) {
            return [=, this](const QModelIndex&, int a, int b) {
                m_log.append(u"%1 %2-%3"_s.arg(what).arg(a).arg(b));
            };
        };
        QObject::connect(&model, &QAbstractItemModel::rowsInserted, rows(u"insert"_s));
        QObject::connect(&model, &QAbstractItemModel::rowsRemoved, rows(u"remove"_s));
        QObject::connect(&model, &QAbstractItemModel::dataChanged,
                         [rows](const QModelIndex& a, const QModelIndex& b, const QList<int>& r) {
                             if (!r.contains(Qt::DecorationRole))
                                 rows(u"change"_s)({}, a.row(), b.row());
                         });
        QObject::connect(&model, &QAbstractItemModel::modelReset,
                         [this] { m_log.append(u"reset"_s); });
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

TEST_F(ScreenshotManagerTest, theListIsKnownAtOnceAndKeepsDecodablePicturesAsSmallPreviews)
{
    ASSERT_TRUE(writeImage(libraryFile(u"old.png"_s), makeTestImage(1920, 1080)));
    QThread::msleep(30); // file times have a coarse clock: make the dates differ
    ASSERT_TRUE(writeImage(libraryFile(u"new.jpg"_s), makeTestImage(640, 400)));
    ASSERT_TRUE(writeImage(libraryFile(u"upper.JPG"_s), makeTestImage(64, 64)));
    ASSERT_TRUE(writeFile(libraryFile(u"broken.png"_s), "this is not a picture"));
    QThread::msleep(30);
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
    EXPECT_EQ(listedNames(), (QStringList{u"new.jpg"_s, u"old.png"_s}));
    ASSERT_EQ(removed.size(), 1);
    EXPECT_EQ(QFileInfo(*removed[0]->filePath).fileName(), u"damaged.png"_s);
    EXPECT_EQ(m_log, (QStringList{u"reset"_s, u"remove 0-0"_s}));
    EXPECT_TRUE(manager.statusMessage().isEmpty());
    EXPECT_TRUE(isRecordedUnreadable(libraryFile(u"damaged.png"_s),
                                     thumbnails::modificationTime(libraryFile(u"damaged.png"_s))));

    // The list keeps previews, from memory or the cache they made, never the full picture.
    for (const ScreenshotItemPtr& item : manager.screenshots()) {
        const qint64 mtime = thumbnails::modificationTime(*item->filePath);
        EXPECT_FALSE(readCachedThumbnail(*item->filePath, mtime).isNull());
        QImage preview;
        EXPECT_TRUE(waitUntil([&] { return !(preview = manager.preview(item)).isNull(); }));
        EXPECT_LE(preview.width(), 200);
        EXPECT_GE(preview.height(), kPreviewSize.height());
    }
    EXPECT_EQ(manager.screenshots().at(1)->fullImage().size(), QSize(1920, 1080));

    // A folder that cannot be listed keeps the list and says why.
    QDir(home.libraryDir()).removeRecursively();
    ASSERT_TRUE(QFile(home.libraryDir()).open(QIODevice::WriteOnly));
    manager.loadScreenshots();
    ASSERT_TRUE(waitUntil([&] { return !manager.statusMessage().isEmpty(); }));
    EXPECT_EQ(manager.statusMessage(), u"Failed to load screenshots: Not a directory"_s);
    EXPECT_EQ(manager.screenshots().size(), 2);
}

TEST(StatusLine, aConfirmationClearsOnlyWhatItStillShows)
{
    StatusLine line;
    line.showConfirmation(u"Copied"_s, 100ms);
    line.showConfirmation(u"1 deleted"_s, 300ms,
                          [](const QString& s) { return s.endsWith(u"deleted"); });
    line.showConfirmation(u"2 deleted"_s, 1000ms,
                          [](const QString& s) { return s.endsWith(u"deleted"); });
    // The first timer finds another text and leaves it; the second clears a text of its kind.
    EXPECT_TRUE(holdsFor([&] { return line.text() == u"2 deleted"_s; }, 200ms));
    EXPECT_TRUE(waitUntil([&] { return line.text().isEmpty(); }, 400ms));
    line.showConfirmation(u"Copied"_s, 100ms);
    line.set(u"Capturing"_s);
    EXPECT_TRUE(holdsFor([&] { return line.text() == u"Capturing"_s; }, 300ms));
}

TEST_F(ScreenshotManagerTest, theSyncHearsOfNewScreenshotsAndServerCopiesOfDeletedOnes)
{
    ASSERT_TRUE(writeImage(libraryFile(u"loaded.png"_s), makeTestImage(40, 30)));
    manager.setAutoCopyEnabled(false);
    RecordingSync sync;
    manager.setSyncService(&sync);
    loadAndWait();
    manager.startWatchingScreenshots();
    ASSERT_TRUE(writeImage(systemFile(u"Screenshot 1.png"_s), makeTestImage(40, 30)));
    ASSERT_TRUE(waitUntil([&] { return manager.screenshots().size() == 2; }));
    const QString imported = listedNames().constFirst();

    manager.setServerScreenshots({{7, u"s7.png"_s, u"loaded.png"_s, 9, u"window"_s, {}}});
    manager.deleteScreenshot(manager.screenshots().at(1));
    EXPECT_EQ(sync.calls, (QStringList{u"upload "_s + imported, u"delete 7"_s}));
    manager.setSyncService(nullptr);
}

TEST_F(ScreenshotManagerTest, aCopyOffersTiffAndPngOfTheFullPictureOrSaysWhyNot)
{
    // Just over what Qt decodes unasked: the size at which a copy used to become its preview.
    const int side = static_cast<int>(std::sqrt(QImageReader::allocationLimit() * 262144.0)) + 64;
    const QImage small = makeTestImage(300, 200), huge = makeTestImage(side, side);
    // A JPEG whose header claims 60000 x 60000, far more than any screen.
    QByteArray forged = encodeImage(makeTestImage(16, 16), "JPEG");
    forged.replace(forged.indexOf("\xff\xc0") + 5, 4, QByteArray("\xea\x60\xea\x60", 4));
    // The file, the format read back and its size; an invalid size: nothing is copied. A PNG
    // file is handed over as it is: stored uncompressed, it is not what a new PNG would be.
    const std::tuple<QString, QByteArray, QString, QSize> cases[] = {
        {u"small.png"_s, encodeImage(small, "PNG", 100), u"image/png"_s, small.size()},
        {u"small.jpeg"_s, encodeImage(small, "JPEG"), u"image/tiff"_s, small.size()},
        {u"huge.jpg"_s, encodeImage(huge, "JPEG"), u"image/png"_s, huge.size()},
        {u"forged.jpg"_s, forged, {}, {}},
    };
    for (const auto& [name, bytes, askFor, expected] : cases) {
        SCOPED_TRACE(name.toStdString());
        const QString path = libraryFile(name);
        ASSERT_TRUE(writeFile(path, bytes));
        const auto item =
            std::make_shared<ScreenshotItem>(makeTestImage(160, 100), QDateTime(),
                                             SyncStatus::Local, std::nullopt, path, std::nullopt);
        const quint64 before = clipboard.count;
        manager.copyToClipboard(item);
        if (!expected.isValid()) {
            EXPECT_EQ(clipboard.count, before);
            EXPECT_EQ(manager.statusMessage(), u"Screenshot too large to copy"_s);
            continue;
        }
        EXPECT_EQ(manager.statusMessage(), u"Copied to clipboard"_s);
        ASSERT_TRUE(clipboard.current);
        EXPECT_EQ(clipboard.current->formats(), (QStringList{u"image/tiff"_s, u"image/png"_s}));
        QByteArray data = clipboard.dataFor(askFor);
        if (askFor == u"image/png"_s && name.endsWith(u".png"_s)) {
            EXPECT_EQ(data, bytes);
        }
        QBuffer buffer(&data);
        EXPECT_EQ(QImageReader(&buffer).size(), expected);
        clipboard.current.reset();
        QFile::remove(path);
    }
}

TEST_F(ScreenshotManagerTest, eachChangeOfOneItemTouchesItsOneRowAndADeletionOnlyItsOwn)
{
    for (const QString& name : {u"a.png"_s, u"b.png"_s, u"c.png"_s})
        ASSERT_TRUE(writeImage(libraryFile(name), makeTestImage(40, 30)));
    loadAndWait();
    ASSERT_TRUE(waitUntil([&] { return manager.previewsPending() == 0; }));
    ScreenshotListModel model(&manager);
    watch(model);
    // These are the sync's own changes: none of them is handed back to it.
    RecordingSync sync;
    manager.setSyncService(&sync);
    const QDateTime newest = manager.screenshots().constFirst()->date;
    const QDateTime oldest = manager.screenshots().constLast()->date;
    auto made = [](const QDateTime& date, const QString& name) {
        return std::make_shared<ScreenshotItem>(makeTestImage(40, 30), date, SyncStatus::Synced,
                                                u"7"_s, u"/nowhere/"_s + name, std::nullopt);
    };
    const std::tuple<const char*, std::function<void()>, QStringList> steps[] = {
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
    for (const auto& [name, act, signalsSent] : steps) {
        m_log.clear();
        act();
        EXPECT_EQ(m_log, signalsSent) << name;
        EXPECT_EQ(modelNames(model), listedNames()) << name;
    }
    EXPECT_EQ(sync.calls, QStringList());
    manager.setSyncService(nullptr);
    // A new item's picture went to the preview store, not into a second copy on the item.
    const ScreenshotItemPtr added = made(newest.addSecs(120), u"new.png"_s);
    manager.insertItemByDate(added);
    EXPECT_TRUE(added->image.isNull());
    EXPECT_FALSE(manager.preview(added).isNull());
    EXPECT_FALSE(model.data(model.index(0), Qt::DecorationRole).value<QImage>().isNull());

    // A deletion whose file is already gone still takes its row; an item with the same date
    // and picture but another identity is not the one deleted.
    const ScreenshotItemPtr gone = manager.screenshots().at(1);
    QFile::remove(*gone->filePath);
    manager.deleteScreenshot(gone);
    EXPECT_EQ(manager.statusMessage(), u"Screenshot deleted"_s);
    const ScreenshotItemPtr last = manager.screenshots().at(1);
    const auto twin = std::make_shared<ScreenshotItem>(QImage(), last->date, SyncStatus::Local,
                                                       std::nullopt, std::nullopt, std::nullopt);
    manager.deleteScreenshots({last});
    EXPECT_FALSE(QFileInfo::exists(*last->filePath));
    EXPECT_EQ(manager.statusMessage(), u"1 screenshots deleted"_s);
    manager.deleteScreenshots({twin});
    EXPECT_EQ(listedNames(), QStringList{u"new.png"_s});
}
