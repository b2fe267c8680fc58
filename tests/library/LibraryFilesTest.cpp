#include "core/Settings.h"
#include "library/ImageHeader.h"
#include "library/LibraryListing.h"
#include "library/LibraryPaths.h"

#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

using namespace glimra;
using namespace glimra::test;

namespace {

void touch(const QString& path, const QByteArray& content = "x")
{
    ASSERT_TRUE(writeFile(path, content));
}

QStringList visibleNames(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

} // namespace

TEST(LibraryPaths, generatedNamesFollowThePatternAndNeverNameAnExistingFile)
{
    const QDateTime time(QDate(2024, 3, 9), QTime(14, 5, 33));
    EXPECT_EQ(timestampedStem(time), u"Glimra_2024-03-09_14-05-33"_s);

    QTemporaryDir dir;
    const QString stem = timestampedStem(time);
    EXPECT_EQ(uniqueFilePath(dir.path(), stem, u"jpeg"_s), dir.filePath(stem + u".jpeg"_s));
    touch(dir.filePath(stem + u".png"_s));
    touch(dir.filePath(stem + u"_2.png"_s));
    const QString reserved = dir.filePath(stem + u"_3.png"_s);
    EXPECT_EQ(uniqueFilePath(dir.path(), stem, u"png"_s, {reserved}),
              dir.filePath(stem + u"_4.png"_s));
}

TEST(LibraryPaths, anImportTakesTheNextFreeNameAndAnUnreadableSourceLeavesNothing)
{
    QTemporaryDir source, library;
    const QString original = source.filePath(u"Screenshot 1.png"_s);
    touch(original, "new picture");
    touch(library.filePath(u"Glimra_T.png"_s), "older picture");
    const CopyResult copy = copyIntoFolder(original, library.path(), u"Glimra_T"_s, u"png"_s);
    EXPECT_EQ(copy.path, library.filePath(u"Glimra_T_2.png"_s));
    EXPECT_EQ(readFile(library.filePath(u"Glimra_T_2.png"_s)), "new picture");

    const CopyResult missing =
        copyIntoFolder(source.filePath(u"gone.png"_s), library.path(), u"Glimra_T"_s, u"png"_s);
    EXPECT_FALSE(missing.path || missing.error.isEmpty());
    EXPECT_EQ(visibleNames(library.path()), (QStringList{u"Glimra_T.png"_s, u"Glimra_T_2.png"_s}));
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
    for (const char* name : {"a.png", "b.JPG", "c.txt", "d.jpeg", "e.jpg", ".hidden.png", "f.Png"})
        touch(dir.filePath(QString::fromLatin1(name)), png); // a PNG even named JPEG counts
    touch(dir.filePath(u"g.png"_s), "a name that promises more than the header keeps");
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

    touch(dir.filePath(u"plain-file"_s));
    const LibraryScan broken = scanLibraryFolder(dir.filePath(u"plain-file"_s));
    ASSERT_TRUE(broken.error);
    EXPECT_EQ(*broken.error, u"Not a directory"_s);
}

TEST(ImageHeader, onlyAPictureWholeAtBothEndsCountsAsFinished)
{
    const QByteArray png = encodeImage(makeTestImage(40, 30));
    const QByteArray jpeg = encodeImage(makeTestImage(40, 30), "JPEG", 80);
    struct Case {
        const char* what;
        QByteArray content;
        bool whole;
    };
    const Case cases[] = {
        {"a whole PNG", png, true},
        {"a whole JPEG", jpeg, true},
        {"a PNG cut before its end", png.chopped(1), false},
        {"a PNG with its end chunk only half there", png.chopped(6), false},
        {"a PNG that stops after its header", png.left(40), false},
        {"a JPEG cut before its end marker", jpeg.chopped(2), false},
        {"a JPEG whose end marker came early", jpeg.left(jpeg.size() / 2) + "\xff\xd9", true},
        {"only the end of a PNG", png.right(12), false},
        {"a JPEG end on something else", QByteArray("not a picture at all\xff\xd9"), false},
        {"nothing", QByteArray(), false},
        {"the signature alone", QByteArray("\x89PNG\r\n\x1a\n"), false},
    };
    QTemporaryDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QString path = dir.filePath(u"picture"_s);
        touch(path, c.content);
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        EXPECT_EQ(isWholeImageFile(fd), c.whole);
        ::close(fd);
    }
    const int folder = ::open(QFile::encodeName(dir.path()).constData(), O_RDONLY | O_CLOEXEC);
    EXPECT_FALSE(isWholeImageFile(folder));
    ::close(folder);
}
