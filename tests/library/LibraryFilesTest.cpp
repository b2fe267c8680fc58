// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/Settings.h"
#include "core/ThumbnailFile.h"
#include "core/ThumbnailPaths.h"
#include "library/ImageHeader.h"
#include "library/LibraryListing.h"
#include "library/LibraryPaths.h"
#include "library/ThumbnailCache.h"

#include "TestSupport.h"

#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QImage filled(QSize size, QColor colour)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

// An entry as another program could have left it: any picture, any keys.
QByteArray entryBytes(const QImage& image, const QString& uri, qint64 mtime)
{
    const QImage pixels = image.convertToFormat(QImage::Format_RGB32);
    return thumbnails::encodeEntry(
        {pixels.constBits(), pixels.width(), pixels.height(), pixels.bytesPerLine(), false}, uri,
        mtime);
}

} // namespace

TEST(LibraryPaths, namesFollowThePatternNeverTakeAFileAndAnUnreadableImportLeavesNothing)
{
    const QString stem = timestampedStem(QDateTime(QDate(2024, 3, 9), QTime(14, 5, 33)));
    EXPECT_EQ(stem, u"Glimra_2024-03-09_14-05-33"_s);
    // A capture still running reserves its name; one that finished has its file.
    QTemporaryDir dir;
    ASSERT_TRUE(writeFile(dir.filePath(stem + u".png"_s), "x"));
    EXPECT_EQ(uniqueFilePath(dir.path(), stem, u"png"_s, {dir.filePath(stem + u"_2.png"_s)}),
              dir.filePath(stem + u"_3.png"_s));

    // Imports from another file system copy into the next free name; the rest move.
    QTemporaryDir source;
    const QString original = source.filePath(u"Screenshot 1.png"_s);
    ASSERT_TRUE(writeFile(original, "new picture"));
    const CopyResult copy = copyIntoFolder(original, dir.path(), stem, u"png"_s);
    EXPECT_EQ(copy.path, dir.filePath(stem + u"_2.png"_s));
    EXPECT_EQ(readFile(dir.filePath(stem + u"_2.png"_s)), "new picture");
    // An unreadable source leaves nothing.
    const CopyResult missing =
        copyIntoFolder(source.filePath(u"gone.png"_s), dir.path(), stem, u"png"_s);
    EXPECT_FALSE(missing.path || missing.error.isEmpty());
    EXPECT_EQ(entriesOf(dir.path()), (QStringList{stem + u".png"_s, stem + u"_2.png"_s}));
}

TEST(LibraryPaths, systemScreenshotFolderHonoursTheSettingAndExpandsTheHomeFolder)
{
    ScopedHome home;
    EXPECT_EQ(systemScreenshotFolder(), home.path() + u"/Pictures/Screenshots"_s);
    openSettings()->setValue(settings::kScreenshotLocation, u"~/Shots"_s);
    EXPECT_EQ(systemScreenshotFolder(), home.path() + u"/Shots"_s);
    // A folder the user named is not made for them; the default one is.
    EXPECT_FALSE(QFileInfo::exists(watchableScreenshotFolder()));
    openSettings()->setValue(settings::kScreenshotLocation, QString());
    QDir(home.path()).rmpath(u"Pictures/Screenshots"_s);
    EXPECT_TRUE(QFileInfo(watchableScreenshotFolder()).isDir());

    QDir(home.libraryDir()).removeRecursively();
    EXPECT_EQ(libraryFolder(), home.libraryDir());
    EXPECT_TRUE(QFileInfo(home.libraryDir()).isDir());
}

TEST(LibraryListing, onlyVisiblePicturesWithExactLowerCaseImageExtensionsCount)
{
    QTemporaryDir dir;
    const QByteArray png = encodeImage(makeTestImage(8, 8));
    for (const char* name : {"a.png", "b.JPG", "c.txt", "d.jpeg", "e.jpg", ".hidden.png", "f.Png",
                             "h.jpgx", "i.jpg.d", "jpg"})
        ASSERT_TRUE(writeFile(dir.filePath(QString::fromLatin1(name)),
                              png)); // a PNG even named JPEG counts
    ASSERT_TRUE(
        writeFile(dir.filePath(u"g.png"_s), "a name that promises more than the header keeps"));
    QDir(dir.path()).mkdir(u"folder.png"_s);
    // Temporaries of interrupted writes: only an old one of a library file goes.
    const QDateTime twoHoursAgo = QDateTime::currentDateTime().addSecs(-7200);
    for (const auto& [name, modified] : {std::pair{".a.png.Ab12Z9", twoHoursAgo},
                                         {".e.jpg.XyZ123", QDateTime::currentDateTime()},
                                         {".c.txt.abcdef", twoHoursAgo}}) {
        QFile file(dir.filePath(QString::fromLatin1(name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) &&
                    file.setFileTime(modified, QFileDevice::FileModificationTime));
    }

    LibraryScan scan = scanLibraryFolder(dir.path());
    ASSERT_FALSE(scan.error);
    QStringList names;
    for (const LibraryCandidate& c : scan.candidates)
        names.append(QFileInfo(c.path).fileName());
    names.sort();
    EXPECT_EQ(names, (QStringList{u"a.png"_s, u"d.jpeg"_s, u"e.jpg"_s}));

    QStringList hidden;
    for (const FolderEntry& entry : listFolder(dir.path(), true).entries)
        if (entry.name.startsWith(u'.'))
            hidden.append(entry.name);
    hidden.sort();
    EXPECT_EQ(hidden, (QStringList{u".c.txt.abcdef"_s, u".e.jpg.XyZ123"_s, u".hidden.png"_s}));

    ASSERT_TRUE(writeFile(dir.filePath(u"plain-file"_s), "x"));
    const LibraryScan broken = scanLibraryFolder(dir.filePath(u"plain-file"_s));
    ASSERT_TRUE(broken.error);
    EXPECT_EQ(*broken.error, u"Not a directory"_s);
}

TEST(ImageHeader, theHeaderTellsTheSizeAndOnlyAPictureWholeAtBothEndsIsFinished)
{
    const QByteArray png = encodeImage(makeTestImage(40, 30));
    const QByteArray jpeg = encodeImage(makeTestImage(40, 30), "JPEG", 80);
    const QSize size(40, 30);
    // Metadata ahead of the frame header, as cameras and editors write it.
    const QByteArray app1 = "\xff\xe1\x00\x10"_ba + QByteArray(14, 'e');
    // What the file is, its bytes, the size read from the header alone, and whether it is whole.
    const std::tuple<const char*, QByteArray, std::optional<QSize>, bool> cases[] = {
        {"a whole PNG", png, size, true},
        {"a whole JPEG", jpeg, size, true},
        {"a JPEG with metadata ahead of its frame", jpeg.left(2) + app1 + jpeg.mid(2), size, true},
        {"a PNG cut before its end", png.chopped(1), size, false},
        {"a PNG with its end chunk only half there", png.chopped(6), size, false},
        {"a PNG that stops after its header", png.left(40), size, false},
        {"a PNG whose header is cut short", png.left(20), {}, false},
        {"a PNG of no size", png.left(16) + QByteArray(8, '\0') + png.mid(24), {}, false},
        {"a JPEG cut before its end marker", jpeg.chopped(2), size, false},
        {"a JPEG whose end marker came early", jpeg.left(jpeg.size() / 2) + "\xff\xd9", size, true},
        {"a JPEG scan before any frame", jpeg.left(2) + "\xff\xda\x00\x04xx"_ba, {}, false},
        {"only the end of a PNG", png.right(12), {}, false},
        {"a JPEG end on something else", QByteArray("not a picture at all\xff\xd9"), {}, false},
        {"nothing", QByteArray(), {}, false},
        {"the signature alone", QByteArray("\x89PNG\r\n\x1a\n"), {}, false},
    };
    QTemporaryDir dir;
    for (const auto& [what, content, header, whole] : cases) {
        SCOPED_TRACE(what);
        const QString path = dir.filePath(u"picture"_s);
        ASSERT_TRUE(writeFile(path, content));
        EXPECT_EQ(readImageHeader(path), header);
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
        EXPECT_EQ(isWholeImageFile(fd), whole);
        ::close(fd);
    }
    EXPECT_EQ(readImageHeader(dir.filePath(u"missing"_s)), std::nullopt);
    const int folder = ::open(QFile::encodeName(dir.path()).constData(), O_RDONLY | O_CLOEXEC);
    EXPECT_FALSE(isWholeImageFile(folder));
    ::close(folder);
}

TEST(ThumbnailCache, anEntryIsUsedOnlyWhileItMatchesTheFileAndIsWrittenWholeAndPrivate)
{
    // The picture is blue and the planted entry red: a red preview proves the entry was used,
    // a blue one that the file was decoded again.
    enum Source { FromEntry, FromFile, Dropped };
    using Planted = std::function<QByteArray(const QString& uri, qint64 mtime)>;
    const QImage red = filled({64, 40}, Qt::red), black = filled({1, 1}, Qt::black);
    const auto entry = [](const QImage& image, qint64 mtimeOffset, qsizetype chop = 0) {
        return [=](const QString& uri, qint64 m) {
            return entryBytes(image, uri, m + mtimeOffset).chopped(chop);
        };
    };
    const Planted keyedAfterPixels = [&](const QString& uri, qint64 m) {
        QImage keyed = red;
        keyed.setText(u"Thumb::URI"_s, uri);
        keyed.setText(u"Thumb::MTime"_s, QString::number(m));
        return encodeImage(keyed);
    };
    // What is planted (none: nothing), whether as the record of an unreadable file instead of
    // an entry, and where the preview comes from; afterwards an entry matches the file, or a
    // record if it was dropped.
    const std::tuple<const char*, Planted, bool, Source> cases[] = {
        {"no entry yet", {}, false, FromFile},
        {"entry of this version", entry(red, 0), false, FromEntry},
        {"entry with its keys after the pixels (other writers)", keyedAfterPixels, false,
         FromEntry},
        {"stale modification time", entry(red, -1), false, FromFile},
        {"entry of another file",
         [&](const QString&, qint64 m) { return entryBytes(red, u"file:///elsewhere.png"_s, m); },
         false, FromFile},
        {"entry without keys", [&](auto&&...) { return encodeImage(red); }, false, FromFile},
        {"truncated entry", entry(red, 0, 30), false, FromFile},
        {"entry that is no picture", [](auto&&...) { return QByteArray("\x89PNG garbage"); }, false,
         FromFile},
        {"file recorded unreadable in an older version", entry(black, -5), true, FromFile},
        {"file recorded unreadable in this version", entry(black, 0), true, Dropped},
    };
    for (const auto& [name, bytes, asFailRecord, source] : cases) {
        const ScopedHome home;
        const QString file = home.path() + u"/shot one.png"_s;
        ASSERT_TRUE(writeImage(file, filled({1920, 1080}, Qt::blue)));
        const qint64 mtime = thumbnails::modificationTime(file);
        if (bytes)
            writeFile(asFailRecord ? thumbnails::failEntryPath(file)
                                   : thumbnails::largeEntryPath(file),
                      bytes(thumbnails::fileUri(file), mtime));

        const PreviewLoad load = loadPreview(file, true);
        ASSERT_EQ(load.outcome == PreviewLoad::Unreadable, source == Dropped) << name;
        if (source != Dropped) {
            EXPECT_EQ(load.preview.pixelColor(5, 5), source == FromEntry ? Qt::red : Qt::blue)
                << name;
            EXPECT_LE(load.preview.width(), 200) << name;
        }
        // Whatever was there, what is there now matches the file.
        EXPECT_EQ(readCachedThumbnail(file, mtime).isNull(), source == Dropped) << name;
        EXPECT_EQ(isRecordedUnreadable(file, mtime), source == Dropped) << name;
    }
    // A file that is gone is no unreadable file to remember.
    const ScopedHome home;
    const QString gone = home.path() + u"/gone.png"_s;
    EXPECT_EQ(loadPreview(gone, true).outcome, PreviewLoad::Unreadable);
    EXPECT_FALSE(QFileInfo::exists(thumbnails::failEntryPath(gone)));

    // Entries are written whole, private, and with their keys ahead of the pixels.
    const QString root = home.path() + u"/cache/thumbnails"_s;
    // A cache folder that exists keeps its owner's mode; the ones made here are private.
    ASSERT_TRUE(QDir().mkpath(root));
    ::chmod(QFile::encodeName(root).constData(), 0755);
    const QString file = home.path() + u"/a.png"_s;
    ASSERT_TRUE(writeImage(file, filled({300, 200}, Qt::green)));
    ASSERT_EQ(loadPreview(file, false).outcome, PreviewLoad::Loaded);

    const QString written = thumbnails::largeEntryPath(file);
    EXPECT_EQ(entriesOf(root + u"/large"_s),
              QStringList{QFileInfo(written).fileName()}); // no temporary left behind
    EXPECT_EQ(modeOf(written), 0600u);
    EXPECT_EQ(modeOf(root + u"/large"_s), 0700u);
    EXPECT_EQ(modeOf(root), 0755u);

    QFile f(written);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    const qsizetype idat = bytes.indexOf("IDAT");
    EXPECT_GT(idat, bytes.indexOf("tEXtThumb::URI\0file://"_ba));
    EXPECT_GT(idat, bytes.indexOf("tEXtThumb::MTime\0"_ba));
    EXPECT_GT(bytes.indexOf("tEXtThumb::URI"), 0);
    const QImage thumbnail = QImage::fromData(bytes, "png");
    EXPECT_EQ(thumbnail.width(), 256);
    EXPECT_NEAR(thumbnail.height(), 171, 1);
    EXPECT_EQ(thumbnail.pixelColor(100, 100), QColor(Qt::green));
}
