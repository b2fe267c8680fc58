#include "ManagerFixture.h"

#include <QBuffer>
#include <QThread>

using namespace glimra;
using namespace glimra::test;

namespace {

class WatchingTest : public ManagerFixture {
protected:
    void startWatching()
    {
        loadAndWait();
        manager.startWatchingScreenshots();
    }
    QStringList systemFolderNames() const
    {
        return QDir(home.path() + u"/Pictures/Screenshots"_s).entryList(QDir::Files, QDir::Name);
    }
    QStringList libraryNames() const
    {
        return QDir(home.libraryDir()).entryList(QDir::Files, QDir::Name);
    }
};

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

TEST_F(WatchingTest, aNewSystemScreenshotMovesIntoTheLibraryAndOntoTheClipboard)
{
    startWatching();
    const QString source = systemFile(u"Screenshot 2026-12-06 at 10.00.00.png"_s);
    ASSERT_TRUE(writeImage(source, makeTestImage(800, 500)));
    const QByteArray original = fileBytes(source);

    ASSERT_TRUE(waitUntil([&] { return manager.screenshots().size() == 1; }));
    const ScreenshotItemPtr item = manager.screenshots().constFirst();
    EXPECT_EQ(item->captureType, std::optional<QString>(u"fullscreen"_s));
    EXPECT_TRUE(QFileInfo(*item->filePath).fileName().startsWith(QLatin1String("Glimra_")));
    EXPECT_TRUE(item->filePath->endsWith(QLatin1String(".png")));
    EXPECT_EQ(fileBytes(*item->filePath), original);
    EXPECT_FALSE(QFileInfo::exists(source));
    EXPECT_EQ(clipboard.count, 1u);
    EXPECT_EQ(manager.statusMessage(), u"Copied to clipboard"_s);
}

TEST_F(WatchingTest, onlyNewFilesNamedLikeSystemScreenshotsAreTaken)
{
    ASSERT_TRUE(writeImage(systemFile(u"Screenshot before start.png"_s), makeTestImage(40, 30)));
    manager.setAutoCopyEnabled(false);
    startWatching();
    ASSERT_TRUE(writeImage(systemFile(u"Screenshot upper.PNG"_s), makeTestImage(40, 30)));
    ASSERT_TRUE(writeImage(systemFile(u"Glimra_own.png"_s), makeTestImage(40, 30)));
    ASSERT_TRUE(writeImage(systemFile(u"Screenshot taken.jpg"_s), makeTestImage(40, 30)));

    ASSERT_TRUE(waitUntil([&] { return manager.screenshots().size() == 1; }));
    processEvents(std::chrono::milliseconds(200));
    EXPECT_EQ(manager.screenshots().size(), 1);
    EXPECT_TRUE(manager.screenshots().constFirst()->filePath->endsWith(QLatin1String(".jpg")));
    EXPECT_EQ(systemFolderNames(),
              (QStringList{u"Glimra_own.png"_s, u"Screenshot before start.png"_s,
                           u"Screenshot upper.PNG"_s}));
    EXPECT_EQ(clipboard.count, 0u);
    EXPECT_TRUE(manager.statusMessage().isEmpty());
}

TEST_F(WatchingTest, aScreenshotClosedEmptyAndWrittenLaterIsImportedWhole)
{
    startWatching();
    const QString source = systemFile(u"Screenshot slow.png"_s);
    QByteArray png;
    {
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        makeTestImage(640, 480).save(&buffer, "PNG");
    }
    // The way some image tools write: create and close empty, then reopen and write.
    {
        QFile f(source);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    processEvents(std::chrono::milliseconds(150));
    {
        QFile f(source);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(png.left(png.size() / 2));
        f.flush();
        processEvents(std::chrono::milliseconds(150));
        f.write(png.mid(png.size() / 2));
    }
    ASSERT_TRUE(waitUntil([&] { return manager.screenshots().size() == 1; }));
    EXPECT_EQ(fileBytes(*manager.screenshots().constFirst()->filePath), png);
    EXPECT_FALSE(QFileInfo::exists(source));
    EXPECT_EQ(libraryNames().size(), 1);
}

TEST_F(WatchingTest, aSystemScreenshotThatIsNoPictureStaysWhereItIs)
{
    startWatching();
    const QString source = systemFile(u"Screenshot junk.png"_s);
    {
        QFile f(source);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("not a picture at all");
    }
    processEvents(std::chrono::milliseconds(400));
    EXPECT_TRUE(QFileInfo::exists(source));
    EXPECT_TRUE(manager.screenshots().isEmpty());
    EXPECT_TRUE(libraryNames().isEmpty());

    // Once it turns into a picture it is taken after all.
    ASSERT_TRUE(writeImage(source, makeTestImage(50, 50)));
    ASSERT_TRUE(waitUntil([&] { return manager.screenshots().size() == 1; }));
    EXPECT_FALSE(QFileInfo::exists(source));
}

TEST_F(WatchingTest, anEditedLibraryFileShowsItsNewPictureInPlace)
{
    ASSERT_TRUE(writeImage(libraryFile(u"a.png"_s), makeTestImage(100, 100, 0xff0000ff)));
    QThread::msleep(20);
    ASSERT_TRUE(writeImage(libraryFile(u"b.png"_s), makeTestImage(100, 100)));
    startWatching();
    ASSERT_EQ(listedNames(), (QStringList{u"b.png"_s, u"a.png"_s}));
    const ScreenshotItemPtr a = manager.screenshots().at(1);
    a->syncStatus = SyncStatus::Synced;

    QThread::msleep(20);
    QImage edited(100, 100, QImage::Format_RGB32);
    edited.fill(Qt::red);
    ASSERT_TRUE(writeImage(libraryFile(u"a.png"_s), edited));
    ASSERT_TRUE(waitUntil([&] { return a->image.pixelColor(5, 5) == QColor(Qt::red); }));
    EXPECT_EQ(listedNames(), (QStringList{u"b.png"_s, u"a.png"_s}));
    EXPECT_EQ(a->syncStatus, SyncStatus::Synced);

    // A file new to the folder is only noted, not added to the list.
    ASSERT_TRUE(writeImage(libraryFile(u"c.png"_s), makeTestImage(10, 10)));
    processEvents(std::chrono::milliseconds(300));
    EXPECT_EQ(manager.screenshots().size(), 2);
}
