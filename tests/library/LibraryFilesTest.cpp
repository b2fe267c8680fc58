#include "library/LibraryListing.h"
#include "library/LibraryPaths.h"
#include "platform/Settings.h"

#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <gtest/gtest.h>

using namespace glimra;
using glimra::test::ScopedHome;

namespace {

void touch(const QString& path, const QByteArray& content = "x")
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(content);
}

QStringList visibleNames(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

} // namespace

TEST(LibraryPaths, generatedNamesFollowThePatternAndNeverNameAnExistingFile)
{
    const QDateTime time(QDate(2024, 3, 9), QTime(14, 5, 33));
    EXPECT_EQ(timestampedStem(time), QStringLiteral("Glimra_2024-03-09_14-05-33"));

    QTemporaryDir dir;
    const QString stem = timestampedStem(time);
    EXPECT_EQ(uniqueFilePath(dir.path(), stem, QStringLiteral("jpeg")),
              dir.filePath(stem + QStringLiteral(".jpeg")));
    touch(dir.filePath(stem + QStringLiteral(".png")));
    touch(dir.filePath(stem + QStringLiteral("_2.png")));
    const QString reserved = dir.filePath(stem + QStringLiteral("_3.png"));
    EXPECT_EQ(uniqueFilePath(dir.path(), stem, QStringLiteral("png"), {reserved}),
              dir.filePath(stem + QStringLiteral("_4.png")));
}

TEST(LibraryPaths, copyingIntoTheLibraryNeverOverwritesAndLeavesNoPartialFile)
{
    QTemporaryDir source, library;
    const QString original = source.filePath(QStringLiteral("Screenshot 1.png"));
    touch(original, "new picture");
    touch(library.filePath(QStringLiteral("Glimra_T.png")), "older picture");

    CopyResult copy =
        copyIntoFolder(original, library.path(), QStringLiteral("Glimra_T"), QStringLiteral("png"));
    ASSERT_TRUE(copy.path);
    EXPECT_EQ(*copy.path, library.filePath(QStringLiteral("Glimra_T_2.png")));
    QFile older(library.filePath(QStringLiteral("Glimra_T.png")));
    ASSERT_TRUE(older.open(QIODevice::ReadOnly));
    EXPECT_EQ(older.readAll(), QByteArray("older picture"));
    QFile copied(*copy.path);
    ASSERT_TRUE(copied.open(QIODevice::ReadOnly));
    EXPECT_EQ(copied.readAll(), QByteArray("new picture"));

    // A source that cannot be read gives a reason and leaves nothing behind.
    CopyResult missing = copyIntoFolder(source.filePath(QStringLiteral("gone.png")), library.path(),
                                        QStringLiteral("Glimra_T"), QStringLiteral("png"));
    EXPECT_FALSE(missing.path);
    EXPECT_FALSE(missing.error.isEmpty());
    EXPECT_EQ(visibleNames(library.path()),
              (QStringList{QStringLiteral("Glimra_T.png"), QStringLiteral("Glimra_T_2.png")}));
}

TEST(LibraryPaths, systemScreenshotFolderHonoursTheSettingAndExpandsTheHomeFolder)
{
    ScopedHome home;
    EXPECT_EQ(systemScreenshotFolder(), home.path() + QStringLiteral("/Pictures/Screenshots"));
    openSettings()->setValue(QStringLiteral("screenshotLocation"), QStringLiteral("~/Shots"));
    EXPECT_EQ(systemScreenshotFolder(), home.path() + QStringLiteral("/Shots"));
    // A folder the user named is not made for them; the default one is.
    EXPECT_FALSE(QFileInfo::exists(watchableScreenshotFolder()));
    openSettings()->setValue(QStringLiteral("screenshotLocation"), QString());
    QDir(home.path()).rmpath(QStringLiteral("Pictures/Screenshots"));
    EXPECT_TRUE(QFileInfo(watchableScreenshotFolder()).isDir());

    QDir(home.libraryDir()).removeRecursively();
    EXPECT_EQ(libraryFolder(), home.libraryDir());
    EXPECT_TRUE(QFileInfo(home.libraryDir()).isDir());
}

TEST(LibraryListing, onlyVisibleFilesWithExactLowerCaseImageExtensionsCount)
{
    QTemporaryDir dir;
    for (const char* name : {"a.png", "b.JPG", "c.txt", "d.jpeg", "e.jpg", ".hidden.png", "f.Png"})
        touch(dir.filePath(QString::fromLatin1(name)));
    QDir(dir.path()).mkdir(QStringLiteral("folder.png"));

    LibraryScan scan = scanLibraryFolder(dir.path());
    ASSERT_FALSE(scan.error);
    QStringList names;
    for (const LibraryCandidate& c : scan.candidates)
        names.append(QFileInfo(c.path).fileName());
    names.sort();
    EXPECT_EQ(names, (QStringList{QStringLiteral("a.png"), QStringLiteral("d.jpeg"),
                                  QStringLiteral("e.jpg")}));

    const FolderListing withHidden = listFolder(dir.path(), true);
    EXPECT_EQ(withHidden.entries.size(), 8);

    touch(dir.filePath(QStringLiteral("plain-file")));
    const LibraryScan broken = scanLibraryFolder(dir.filePath(QStringLiteral("plain-file")));
    ASSERT_TRUE(broken.error);
    EXPECT_EQ(*broken.error, QStringLiteral("Not a directory"));
}

TEST(LibraryListing, sortingIsNewestFirstAndKeepsListingOrderForEqualDates)
{
    const QDateTime t0(QDate(2026, 1, 1), QTime(10, 0));
    QList<std::pair<QString, QDateTime>> items{{QStringLiteral("old"), t0},
                                               {QStringLiteral("tie-1"), t0.addSecs(60)},
                                               {QStringLiteral("new"), t0.addSecs(120)},
                                               {QStringLiteral("tie-2"), t0.addSecs(60)}};
    sortNewestFirst(items, [](const auto& item) { return item.second; });
    QStringList order;
    for (const auto& item : items)
        order.append(item.first);
    EXPECT_EQ(order, (QStringList{QStringLiteral("new"), QStringLiteral("tie-1"),
                                  QStringLiteral("tie-2"), QStringLiteral("old")}));
}

TEST(LibraryListing, creationTimeFallsBackToTheModificationTime)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.png"));
    touch(path);
    const QFileInfo info(path);
    const QDateTime created = creationTime(info);
    ASSERT_TRUE(created.isValid());
    if (!info.birthTime().isValid())
        EXPECT_EQ(created, info.lastModified());
    else
        EXPECT_EQ(created, info.birthTime());
}
