#include "ManagerFixture.h"

#include <QBuffer>
#include <QThread>

using namespace glimra;
using namespace glimra::test;
using namespace std::chrono_literals;

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
    // True when the list keeps this many items for a while: nothing else is coming.
    bool staysAt(qsizetype count, std::chrono::milliseconds time = 300ms)
    {
        return holdsFor([&] { return manager.screenshots().size() == count; }, time);
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
    EXPECT_TRUE(QFileInfo(*item->filePath).fileName().startsWith(u"Glimra_"_s));
    EXPECT_TRUE(item->filePath->endsWith(u".png"_s));
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
    for (const QString& name :
         {u"Screenshot upper.PNG"_s, u"Glimra_own.png"_s, u"Screenshot taken.jpg"_s})
        ASSERT_TRUE(writeImage(systemFile(name), makeTestImage(40, 30)));

    ASSERT_TRUE(waitUntil([&] { return manager.screenshots().size() == 1; }));
    EXPECT_TRUE(staysAt(1));
    EXPECT_TRUE(manager.screenshots().constFirst()->filePath->endsWith(u".jpg"_s));
    EXPECT_EQ(systemFolderNames(),
              (QStringList{u"Glimra_own.png"_s, u"Screenshot before start.png"_s,
                           u"Screenshot upper.PNG"_s}));
    EXPECT_EQ(clipboard.count, 0u);
    EXPECT_TRUE(manager.statusMessage().isEmpty());
}

TEST_F(WatchingTest, aScreenshotIsTakenOnlyOnceItIsAWholePicture)
{
    startWatching();
    // Junk stays where it is, until it turns into a picture.
    const QString junk = systemFile(u"Screenshot junk.png"_s);
    {
        QFile f(junk);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write("not a picture at all"));
    }
    EXPECT_TRUE(staysAt(0, 400ms));
    EXPECT_TRUE(QFileInfo::exists(junk));
    EXPECT_TRUE(libraryNames().isEmpty());
    ASSERT_TRUE(writeImage(junk, makeTestImage(50, 50)));
    ASSERT_TRUE(waitUntil([&] { return manager.screenshots().size() == 1; }));
    EXPECT_FALSE(QFileInfo::exists(junk));

    // The way some image tools write: create and close empty, then reopen and write.
    const QString slow = systemFile(u"Screenshot slow.png"_s);
    QByteArray png;
    QBuffer buffer(&png);
    ASSERT_TRUE(buffer.open(QIODevice::WriteOnly) && makeTestImage(640, 480).save(&buffer, "PNG"));
    ASSERT_TRUE(QFile(slow).open(QIODevice::WriteOnly));
    EXPECT_TRUE(staysAt(1, 150ms));
    {
        QFile f(slow);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(png.left(png.size() / 2)));
        f.flush();
        EXPECT_TRUE(staysAt(1, 150ms));
        f.write(png.mid(png.size() / 2));
    }
    ASSERT_TRUE(waitUntil([&] { return manager.screenshots().size() == 2; }));
    EXPECT_EQ(fileBytes(*manager.screenshots().constFirst()->filePath), png);
    EXPECT_FALSE(QFileInfo::exists(slow));
    EXPECT_EQ(libraryNames().size(), 2);
}

TEST_F(WatchingTest, anEditedLibraryFileShowsItsNewPictureInPlace)
{
    ASSERT_TRUE(writeImage(libraryFile(u"a.png"_s), makeTestImage(100, 100, 0xff0000ff)));
    QThread::msleep(20); // file times have a coarse clock: make the two dates differ
    ASSERT_TRUE(writeImage(libraryFile(u"b.png"_s), makeTestImage(100, 100)));
    startWatching();
    ASSERT_EQ(listedNames(), (QStringList{u"b.png"_s, u"a.png"_s}));
    const ScreenshotItemPtr a = manager.screenshots().at(1);
    a->syncStatus = SyncStatus::Synced;
    ScreenshotItemPtr announced;
    QObject::connect(&manager, &ScreenshotManager::itemChanged,
                     [&](const ScreenshotItemPtr& item) { announced = item; });

    QThread::msleep(20);
    QImage edited(100, 100, QImage::Format_RGB32);
    edited.fill(Qt::red);
    ASSERT_TRUE(writeImage(libraryFile(u"a.png"_s), edited));
    ASSERT_TRUE(waitUntil([&] { return manager.preview(a).pixelColor(5, 5) == QColor(Qt::red); }));
    EXPECT_EQ(announced, a);
    EXPECT_EQ(listedNames(), (QStringList{u"b.png"_s, u"a.png"_s}));
    EXPECT_EQ(a->syncStatus, SyncStatus::Synced);

    // A file new to the folder is only noted, not added to the list.
    ASSERT_TRUE(writeImage(libraryFile(u"c.png"_s), makeTestImage(10, 10)));
    EXPECT_TRUE(staysAt(2));
}
