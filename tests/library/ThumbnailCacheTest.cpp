#include "library/ThumbnailCache.h"
#include "core/ThumbnailFile.h"
#include "core/ThumbnailPaths.h"
#include "library/ImageHeader.h"

#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

#include <functional>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace glimra;
using namespace glimra::test;

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

TEST(ThumbnailCache, anEntryIsUsedOnlyWhileItMatchesTheFileAndIsRecreatedOtherwise)
{
    // The picture is blue and the planted entry red: a red preview proves the entry was used,
    // a blue one that the file was decoded again.
    enum Source { FromEntry, FromFile, Dropped };
    struct Case {
        const char* name;
        std::function<void(const QString& file, const QString& entry, qint64 mtime)> plant;
        Source source;
        bool entryAfter;
        bool failRecordAfter;
    };
    const QImage red = filled({64, 40}, Qt::red);
    const Case cases[] = {
        {"no entry yet", [](auto&&...) {}, FromFile, true, false},
        {"entry of this version",
         [&](const QString& f, const QString& e, qint64 m) {
             writeFile(e, entryBytes(red, thumbnails::fileUri(f), m));
         },
         FromEntry, true, false},
        {"entry with its keys after the pixels (other writers)",
         [&](const QString& f, const QString& e, qint64 m) {
             QImage keyed = red;
             keyed.setText(u"Thumb::URI"_s, thumbnails::fileUri(f));
             keyed.setText(u"Thumb::MTime"_s, QString::number(m));
             writeFile(e, encodeImage(keyed));
         },
         FromEntry, true, false},
        {"stale modification time",
         [&](const QString& f, const QString& e, qint64 m) {
             writeFile(e, entryBytes(red, thumbnails::fileUri(f), m - 1));
         },
         FromFile, true, false},
        {"entry of another file",
         [&](const QString&, const QString& e, qint64 m) {
             writeFile(e, entryBytes(red, u"file:///elsewhere.png"_s, m));
         },
         FromFile, true, false},
        {"entry without keys",
         [&](const QString&, const QString& e, qint64) { writeFile(e, encodeImage(red)); },
         FromFile, true, false},
        {"truncated entry",
         [&](const QString& f, const QString& e, qint64 m) {
             writeFile(e, entryBytes(red, thumbnails::fileUri(f), m).chopped(30));
         },
         FromFile, true, false},
        {"entry that is no picture",
         [](const QString&, const QString& e, qint64) { writeFile(e, "\x89PNG garbage"); },
         FromFile, true, false},
        {"file recorded unreadable in an older version",
         [](const QString& f, const QString&, qint64 m) {
             writeFile(thumbnails::failEntryPath(f),
                       entryBytes(filled({1, 1}, Qt::black), thumbnails::fileUri(f), m - 5));
         },
         FromFile, true, false},
        {"file recorded unreadable in this version",
         [](const QString& f, const QString&, qint64 m) {
             writeFile(thumbnails::failEntryPath(f),
                       entryBytes(filled({1, 1}, Qt::black), thumbnails::fileUri(f), m));
         },
         Dropped, false, true},
    };
    for (const Case& c : cases) {
        const ScopedHome home;
        const QString file = home.path() + u"/shot one.png"_s;
        ASSERT_TRUE(writeImage(file, filled({1920, 1080}, Qt::blue)));
        const qint64 mtime = thumbnails::modificationTime(file);
        const QString entry = thumbnails::largeEntryPath(file);
        c.plant(file, entry, mtime);

        const PreviewLoad load = loadPreview(file, true);
        ASSERT_EQ(load.outcome == PreviewLoad::Unreadable, c.source == Dropped) << c.name;
        if (c.source != Dropped) {
            EXPECT_EQ(load.preview.pixelColor(5, 5), c.source == FromEntry ? Qt::red : Qt::blue)
                << c.name;
            EXPECT_LE(load.preview.width(), 200) << c.name;
        }
        // Whatever was there, what is there now matches the file.
        EXPECT_EQ(readCachedThumbnail(file, mtime).isNull(), !c.entryAfter) << c.name;
        EXPECT_EQ(isRecordedUnreadable(file, mtime), c.failRecordAfter) << c.name;
    }
}

TEST(ThumbnailCache, unreadableFilesAreRecordedInOurFailFolderAndGoneOnesAreNot)
{
    const ScopedHome home;
    const QString broken = home.path() + u"/broken.png"_s;
    ASSERT_TRUE(writeFile(broken, QByteArray("\x89PNG\r\n\x1a\n", 8) + QByteArray(500, 'x')));
    EXPECT_EQ(loadPreview(broken, true).outcome, PreviewLoad::Unreadable);
    EXPECT_TRUE(isRecordedUnreadable(broken, thumbnails::modificationTime(broken)));
    EXPECT_TRUE(thumbnails::failEntryPath(broken).startsWith(home.path() +
                                                             u"/cache/thumbnails/fail/glimra-"_s));
    EXPECT_FALSE(QFileInfo::exists(thumbnails::largeEntryPath(broken)));

    const QString gone = home.path() + u"/gone.png"_s;
    EXPECT_EQ(loadPreview(gone, true).outcome, PreviewLoad::Unreadable);
    EXPECT_FALSE(QFileInfo::exists(thumbnails::failEntryPath(gone)));
}

TEST(ThumbnailCache, entriesAreWrittenWholePrivateAndWithTheirKeysAheadOfThePixels)
{
    const ScopedHome home;
    const QString root = home.path() + u"/cache/thumbnails"_s;
    // A cache folder that exists keeps its owner's mode; the ones made here are private.
    ASSERT_TRUE(QDir().mkpath(root));
    ::chmod(QFile::encodeName(root).constData(), 0755);
    const QString file = home.path() + u"/a.png"_s;
    ASSERT_TRUE(writeImage(file, filled({300, 200}, Qt::green)));
    ASSERT_EQ(loadPreview(file, false).outcome, PreviewLoad::Loaded);

    const QString entry = thumbnails::largeEntryPath(file);
    EXPECT_EQ(QDir(root + u"/large"_s).entryList(QDir::Files | QDir::Hidden),
              QStringList{QFileInfo(entry).fileName()}); // no temporary left behind
    EXPECT_EQ(modeOf(entry), 0600u);
    EXPECT_EQ(modeOf(root + u"/large"_s), 0700u);
    EXPECT_EQ(modeOf(root), 0755u);

    QFile f(entry);
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

TEST(ImageHeader, theHeaderSaysPictureOrNotWithoutADecode)
{
    const QTemporaryDir dir;
    const QByteArray png = encodeImage(filled({33, 21}, Qt::red));
    const QByteArray jpeg = encodeImage(filled({45, 17}, Qt::red), "JPEG");
    // Metadata ahead of the frame header, as cameras and editors write it.
    const QByteArray app1 = "\xff\xe1\x00\x10"_ba + QByteArray(14, 'e');
    const std::pair<QByteArray, std::optional<QSize>> cases[] = {
        {png, QSize(33, 21)},
        {jpeg, QSize(45, 17)},
        {jpeg.left(2) + app1 + jpeg.mid(2), QSize(45, 17)},
        {png.left(20), std::nullopt},
        {jpeg.left(2) + "\xff\xda\x00\x04xx"_ba, std::nullopt},
        {"not a picture at all", std::nullopt},
        {"", std::nullopt},
        {png.left(16) + QByteArray(8, '\0') + png.mid(24), std::nullopt}, // zero size
    };
    int n = 0;
    for (const auto& [bytes, size] : cases) {
        const QString path = dir.filePath(QString::number(n++));
        ASSERT_TRUE(writeFile(path, bytes));
        EXPECT_EQ(readImageHeader(path), size) << n;
    }
    EXPECT_EQ(readImageHeader(dir.filePath(u"missing"_s)), std::nullopt);
}
