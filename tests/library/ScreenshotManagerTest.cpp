#include "ManagerFixture.h"

#include "library/ScreenshotMimeData.h"

#include <QBuffer>
#include <QImageReader>
#include <QThread>

using namespace glimra;
using namespace glimra::test;

namespace {

class ScreenshotManagerTest : public ManagerFixture {};

} // namespace

TEST_F(ScreenshotManagerTest, loadingKeepsDecodableImagesNewestFirstAsSmallPreviews)
{
    ASSERT_TRUE(writeImage(libraryFile(u"old.png"_s), makeTestImage(1920, 1080)));
    QThread::msleep(30);
    ASSERT_TRUE(writeImage(libraryFile(u"new.jpg"_s), makeTestImage(640, 400)));
    ASSERT_TRUE(writeImage(libraryFile(u"upper.JPG"_s), makeTestImage(64, 64)));
    QFile junk(libraryFile(u"broken.png"_s));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("this is not a picture");
    junk.close();

    loadAndWait();
    EXPECT_EQ(listedNames(), (QStringList{u"new.jpg"_s, u"old.png"_s}));
    EXPECT_TRUE(manager.statusMessage().isEmpty());

    const ScreenshotItemPtr big = manager.screenshots().at(1);
    EXPECT_EQ(big->syncStatus, SyncStatus::Local);
    EXPECT_FALSE(big->serverId);
    EXPECT_FALSE(big->captureType);
    // The list keeps a preview, never the full picture; the full one comes from the file.
    EXPECT_LE(big->image.width(), 200);
    EXPECT_GE(big->image.height(), kPreviewSize.height());
    EXPECT_EQ(big->fullImage().size(), QSize(1920, 1080));
}

TEST_F(ScreenshotManagerTest, aFolderThatCannotBeListedKeepsTheListAndSaysWhy)
{
    ASSERT_TRUE(writeImage(libraryFile(u"a.png"_s), makeTestImage(64, 40)));
    loadAndWait();
    ASSERT_EQ(manager.screenshots().size(), 1);

    QDir(home.libraryDir()).removeRecursively();
    QFile blocker(home.libraryDir());
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    manager.loadScreenshots();
    ASSERT_TRUE(waitUntil([&] { return !manager.statusMessage().isEmpty(); }));
    EXPECT_EQ(manager.statusMessage(), u"Failed to load screenshots: Not a directory"_s);
    EXPECT_EQ(manager.screenshots().size(), 1);
}

TEST_F(ScreenshotManagerTest, copyOffersTiffAndPngAndItsConfirmationClearsOnlyItself)
{
    const QString path = libraryFile(u"a.png"_s);
    ASSERT_TRUE(writeImage(path, makeTestImage(300, 200)));
    loadAndWait();
    const ScreenshotItemPtr item = manager.screenshots().constFirst();

    manager.copyToClipboard(item);
    ASSERT_TRUE(clipboard.current);
    EXPECT_EQ(clipboard.current->formats(), (QStringList{u"image/tiff"_s, u"image/png"_s}));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(clipboard.dataFor(u"image/png"_s), file.readAll());
    QByteArray tiff = clipboard.dataFor(u"image/tiff"_s);
    QBuffer buffer(&tiff);
    QImageReader reader(&buffer, "tiff");
    EXPECT_EQ(reader.read().size(), QSize(300, 200));
    EXPECT_TRUE(clipboard.dataFor(u"text/plain"_s).isEmpty());
    EXPECT_EQ(manager.statusMessage(), u"Copied to clipboard"_s);

    // A newer message outlives the confirmation's timer; then clears on its own.
    processEvents(std::chrono::milliseconds(1000));
    manager.deleteScreenshots({});
    EXPECT_EQ(manager.statusMessage(), u"0 screenshots deleted"_s);
    processEvents(std::chrono::milliseconds(1300));
    EXPECT_EQ(manager.statusMessage(), u"0 screenshots deleted"_s);
    EXPECT_TRUE(
        waitUntil([&] { return manager.statusMessage().isEmpty(); }, std::chrono::seconds(2)));
}

TEST_F(ScreenshotManagerTest, aCopyOfAJpegFileIsReencodedAsPng)
{
    ASSERT_TRUE(writeImage(libraryFile(u"a.jpeg"_s), makeTestImage(120, 80)));
    loadAndWait();
    manager.copyToClipboard(manager.screenshots().constFirst());
    const QByteArray png = clipboard.dataFor(u"image/png"_s);
    EXPECT_TRUE(png.startsWith("\x89PNG"));
    EXPECT_EQ(QImage::fromData(png).size(), QSize(120, 80));
}

TEST_F(ScreenshotManagerTest, deletingRemovesFileAndRowEvenWhenTheFileIsAlreadyGone)
{
    for (const char* name : {"a.png", "b.png", "c.png"})
        ASSERT_TRUE(writeImage(libraryFile(QString::fromLatin1(name)), makeTestImage(40, 30)));
    loadAndWait();
    ASSERT_EQ(manager.screenshots().size(), 3);

    ScreenshotItemPtr a = manager.screenshots().at(0);
    QFile::remove(*a->filePath);
    manager.deleteScreenshot(a);
    EXPECT_EQ(manager.screenshots().size(), 2);
    EXPECT_EQ(manager.statusMessage(), u"Screenshot deleted"_s);

    ScreenshotItemPtr b = manager.screenshots().at(0);
    const QString bPath = *b->filePath;
    // An item with the same date and path but another identity is not the one deleted.
    auto twin = std::make_shared<ScreenshotItem>(b->image, b->date, SyncStatus::Local, std::nullopt,
                                                 std::nullopt, std::nullopt);
    manager.deleteScreenshots({b});
    EXPECT_FALSE(QFileInfo::exists(bPath));
    EXPECT_EQ(manager.screenshots().size(), 1);
    EXPECT_EQ(manager.statusMessage(), u"1 screenshots deleted"_s);
    manager.deleteScreenshots({twin});
    EXPECT_EQ(manager.screenshots().size(), 1);
}

TEST_F(ScreenshotManagerTest, choosingASaveFolderTakesTheAnswerAndIgnoresACancel)
{
    picker.nextAnswer = std::nullopt;
    manager.selectSaveFolder();
    EXPECT_FALSE(manager.customSaveLocation());
    EXPECT_EQ(picker.lastPrompt, u"Select"_s);
    EXPECT_EQ(picker.lastMessage, u"Select a folder to save screenshots"_s);
    picker.nextAnswer = home.path();
    manager.selectSaveFolder();
    EXPECT_EQ(manager.customSaveLocation(), std::optional<QString>(home.path()));
}
