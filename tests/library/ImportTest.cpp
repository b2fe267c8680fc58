// SPDX-License-Identifier: GPL-3.0-or-later
#include "ManagerFixture.h"

#include <QCryptographicHash>
#include <QThread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class ImportTest : public ManagerFixture {
protected:
    ImportTest()
    {
        manager.setAutoCopyEnabled(false);
        QDir().mkpath(outside());
    }
    void startWatching()
    {
        loadAndWait();
        manager.startWatchingScreenshots();
    }
    QString systemFolder() const { return home.path() + u"/Pictures/Screenshots"_s; }
    QString outside() const { return home.path() + u"/elsewhere"_s; }
    QStringList libraryNames() const
    {
        return QDir(home.libraryDir()).entryList(QDir::Files, QDir::Name);
    }
    // True when the list keeps this many items for a while: nothing else is coming.
    bool staysAt(qsizetype count, std::chrono::milliseconds time = 300ms)
    {
        return holdsFor([&] { return manager.screenshots().size() == count; }, time);
    }
    bool imports(const QString& name, qsizetype total)
    {
        return writeImage(systemFile(name), makeTestImage(64, 48)) &&
               waitUntil([&] { return manager.screenshots().size() == total; }) &&
               !QFileInfo::exists(systemFile(name));
    }
};

} // namespace

TEST_F(ImportTest, aPassingFailureIsTriedAgainWithoutAnyNewEvent)
{
    const QString library = home.libraryDir(), away = outside() + u"/library"_s;
    const QString half = outside() + u"/half.png"_s, other = outside() + u"/other-name"_s;
    // What happens; how it makes the first attempt fail; how the cause is then mended, in a way
    // the watch cannot see; the status shown after the first attempt.
    const std::tuple<const char*, std::function<void(const QString&)>, std::function<void()>,
                     const char*>
        cases[] = {
            {"the library folder is briefly not a folder",
             [&](const QString& source) {
                 QDir().rename(library, away);
                 QFile(library).open(QIODevice::WriteOnly);
                 ASSERT_TRUE(writeImage(source, makeTestImage(64, 48)));
             },
             [&] { ASSERT_TRUE(QFile::remove(library) && QDir().rename(away, library)); },
             "Failed to import screenshot"},
            {"a slow writer finishes through another name",
             [&](const QString& source) {
                 ASSERT_TRUE(writeFile(half, "\x89PNG\r\n"));
                 ASSERT_EQ(::link(QFile::encodeName(half), QFile::encodeName(other)), 0);
                 ASSERT_TRUE(QFile::rename(half, source));
             },
             [&] { ASSERT_TRUE(writeFile(other, encodeImage(makeTestImage(64, 48)))); }, ""},
        };
    startWatching();
    qsizetype total = 0;
    for (const auto& [what, breakIt, mendIt, status] : cases) {
        SCOPED_TRACE(what);
        const QString source = systemFile(u"Screenshot %1.png"_s.arg(total));
        breakIt(source);
        EXPECT_TRUE(waitUntil([&] { return manager.statusMessage() == QLatin1String(status); }));
        EXPECT_TRUE(staysAt(total));
        EXPECT_TRUE(QFileInfo::exists(source));
        mendIt();
        ++total;
        EXPECT_TRUE(waitUntil([&] { return manager.screenshots().size() == total; }, 8s));
        EXPECT_FALSE(QFileInfo::exists(source));
        EXPECT_EQ(libraryNames().size(), total);
    }
}

TEST_F(ImportTest, whatIsNotARegularFileIsLeftAloneAndHoldsNothingUp)
{
    // Made elsewhere and moved in, as a file manager moves it.
    const auto linkToSecret = [](const QString& path, const QString& outside) {
        const QString made = outside + u"/link"_s;
        return QFile::link(outside + u"/secret.png"_s, made) && QFile::rename(made, path);
    };
    const auto pipeWrittenTwice = [](const QString& path, const QString&) {
        if (::mkfifo(QFile::encodeName(path).constData(), 0600) != 0)
            return false;
        for (int i = 0; i < 2; ++i) { // the second write is an "edit" of a known file
            QThread::msleep(20);
            const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NONBLOCK);
            if (fd < 0 || ::write(fd, "x", 1) != 1)
                return false;
            ::close(fd);
        }
        return true;
    };
    // What is planted; its name in the desktop's folder, or the library's with a leading
    // "library/"; how it is made; the file type it keeps.
    const std::tuple<const char*, QString, std::function<bool(const QString&, const QString&)>,
                     mode_t>
        cases[] = {
            {"a link to a picture elsewhere", u"Screenshot link.png"_s, linkToSecret, S_IFLNK},
            {"a named pipe", u"Screenshot pipe.png"_s, pipeWrittenTwice, S_IFIFO},
            {"a named pipe in the library", u"library/pipe.png"_s, pipeWrittenTwice, S_IFIFO},
        };
    ASSERT_TRUE(writeImage(outside() + u"/secret.png"_s, makeTestImage(32, 32, 0xffaa0000)));
    ASSERT_TRUE(writeImage(libraryFile(u"edited.png"_s), makeTestImage(40, 40)));
    startWatching();
    // Each case edits a library file too: its row keeps its place and its sync state.
    const ScreenshotItemPtr editedItem = manager.screenshots().constLast();
    editedItem->syncStatus = SyncStatus::Synced;
    int announced = 0;
    QObject::connect(&manager, &ScreenshotManager::itemChanged,
                     [&](const ScreenshotItemPtr& item) { announced += item == editedItem; });
    qsizetype total = 1;
    for (const auto& [what, name, plant, type] : cases) {
        SCOPED_TRACE(what);
        const QString path =
            name.startsWith(u"library/"_s) ? libraryFile(name.mid(8)) : systemFile(name);
        ASSERT_TRUE(plant(path, outside()));
        // Whatever was planted, what comes after it still goes through.
        EXPECT_TRUE(imports(u"Screenshot after %1.png"_s.arg(total), total + 1));
        ++total;
        QImage edited(40, 40, QImage::Format_RGB32);
        edited.fill(QColor::fromHsv(static_cast<int>(total) * 30, 255, 255));
        QThread::msleep(20);
        ASSERT_TRUE(writeImage(libraryFile(u"edited.png"_s), edited));
        EXPECT_TRUE(waitUntil([&] {
            return manager.preview(manager.screenshots().constLast()).pixelColor(1, 1) ==
                   edited.pixelColor(1, 1);
        }));
        struct stat left {}; // as it was
        EXPECT_TRUE(::lstat(QFile::encodeName(path), &left) == 0 &&
                    (left.st_mode & S_IFMT) == type);
    }
    EXPECT_EQ(libraryNames().size(), total + 0); // the pipe in the library is no file
    EXPECT_TRUE(QFileInfo::exists(outside() + u"/secret.png"_s));
    EXPECT_EQ(editedItem->syncStatus, SyncStatus::Synced);
    EXPECT_GE(announced, std::ssize(cases));
    // A file new to the library is only noted, not added to the list.
    ASSERT_TRUE(writeImage(libraryFile(u"new.png"_s), makeTestImage(10, 10)));
    EXPECT_TRUE(staysAt(total));
}

TEST_F(ImportTest, aBurstIsImportedSideBySideEachFileOnce)
{
    startWatching();
    constexpr int kBurst = 60;
    QSet<QByteArray> sent;
    for (int i = 0; i < kBurst; ++i) {
        const QImage image = makeTestImage(96, 64, qRgb(i, 255 - i, i * 3 % 256));
        ASSERT_TRUE(writeImage(systemFile(u"Screenshot %1.png"_s.arg(i)), image));
        sent.insert(QCryptographicHash::hash(encodeImage(image), QCryptographicHash::Md5));
    }
    ASSERT_TRUE(waitUntil([&] { return manager.screenshots().size() == kBurst; }, 20s));
    EXPECT_TRUE(staysAt(kBurst));
    // Every picture once: two rows of one file would leave a picture out.
    QSet<QByteArray> arrived;
    for (const ScreenshotItemPtr& item : manager.screenshots())
        arrived.insert(
            QCryptographicHash::hash(readFile(*item->filePath), QCryptographicHash::Md5));
    EXPECT_EQ(libraryNames().size(), kBurst);
    EXPECT_TRUE(QDir(systemFolder()).entryList(QDir::Files).isEmpty());
    EXPECT_EQ(arrived, sent);
}

// Its new name, its type and its copy to the clipboard are checked on the real app.
TEST_F(ImportTest, onlyNewScreenshotsMoveInAndOnlyOnceTheyAreWholePictures)
{
    ASSERT_TRUE(writeImage(systemFile(u"Screenshot before start.png"_s), makeTestImage(40, 30)));
    startWatching();
    // Junk stays where it is, until it turns into a picture.
    const QString junk = systemFile(u"Screenshot junk.png"_s);
    ASSERT_TRUE(writeFile(junk, "not a picture at all"));
    EXPECT_TRUE(staysAt(0, 400ms));
    EXPECT_TRUE(QFileInfo::exists(junk));
    EXPECT_TRUE(libraryNames().isEmpty());
    ASSERT_TRUE(writeImage(junk, makeTestImage(50, 50)));
    ASSERT_TRUE(waitUntil([&] { return manager.screenshots().size() == 1; }));
    EXPECT_FALSE(QFileInfo::exists(junk));

    // The way some image tools write: create and close empty, then reopen and write.
    const QString slow = systemFile(u"Screenshot slow.png"_s);
    const QByteArray png = encodeImage(makeTestImage(640, 480));
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
    EXPECT_EQ(readFile(*manager.screenshots().constFirst()->filePath), png);
    EXPECT_FALSE(QFileInfo::exists(slow));
    EXPECT_EQ(libraryNames().size(), 2);

    // An import looks only at both ends of a file; the preview's decode finds a damaged middle.
    QByteArray damaged = png;
    for (qsizetype i = 41; i < damaged.size() - 12; ++i)
        damaged[i] = char(0x5a);
    int removed = 0;
    QObject::connect(&manager, &ScreenshotManager::itemRemoved, [&removed] { ++removed; });
    ASSERT_TRUE(writeFile(systemFile(u"Screenshot damaged.png"_s), damaged));
    EXPECT_TRUE(waitUntil([&] { return removed == 1; }));
    EXPECT_EQ(manager.screenshots().size(), 2);
    EXPECT_EQ(libraryNames().size(), 3);
    EXPECT_TRUE(imports(u"Screenshot whole.png"_s, 3));

    // Only files named like the desktop's screenshots move in, a JPEG as it is.
    for (const QString& name :
         {u"Screenshot upper.PNG"_s, u"Glimra_own.png"_s, u"Screenshot taken.jpg"_s})
        ASSERT_TRUE(writeImage(systemFile(name), makeTestImage(40, 30)));
    const QByteArray original = readFile(systemFile(u"Screenshot taken.jpg"_s));
    ASSERT_TRUE(waitUntil([&] { return manager.screenshots().size() == 4; }));
    EXPECT_TRUE(staysAt(4));
    const ScreenshotItemPtr item = manager.screenshots().constFirst();
    EXPECT_TRUE(item->filePath->endsWith(u".jpg"_s));
    EXPECT_EQ(readFile(*item->filePath), original);
    EXPECT_EQ(QDir(systemFolder()).entryList(QDir::Files, QDir::Name),
              (QStringList{u"Glimra_own.png"_s, u"Screenshot before start.png"_s,
                           u"Screenshot upper.PNG"_s}));
}
