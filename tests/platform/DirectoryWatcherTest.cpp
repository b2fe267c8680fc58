#include "platform/linux/DirectoryWatcher.h"

#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

using namespace glimra;
using namespace glimra::test;

TEST(DirectoryWatcher, reportsFinishedWritesRenamesAndDeletesButNotCreation)
{
    QTemporaryDir dir;
    DirectoryWatcher watcher;
    ASSERT_TRUE(watcher.watch(dir.path()));
    int changes = 0;
    QObject::connect(&watcher, &DirectoryWatcher::changed, [&] { ++changes; });

    QFile file(dir.filePath(u"a.png"_s));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("partial");
    file.flush();
    EXPECT_TRUE(holdsFor([&] { return changes == 0; }, std::chrono::milliseconds(100)));
    EXPECT_TRUE(watcher.isBeingWritten(u"a.png"_s));

    file.close();
    ASSERT_TRUE(waitUntil([&] { return changes == 1; }));
    EXPECT_FALSE(watcher.isBeingWritten(u"a.png"_s));

    ASSERT_TRUE(QFile::rename(dir.filePath(u"a.png"_s), dir.filePath(u"b.png"_s)));
    ASSERT_TRUE(waitUntil([&] { return changes >= 2; }));
    const int afterRename = changes;
    ASSERT_TRUE(QFile::remove(dir.filePath(u"b.png"_s)));
    ASSERT_TRUE(waitUntil([&] { return changes > afterRename; }));

    watcher.stop();
    EXPECT_FALSE(watcher.isWatching());
    const int afterStop = changes;
    QFile late(dir.filePath(u"c.png"_s));
    ASSERT_TRUE(late.open(QIODevice::WriteOnly));
    late.close();
    EXPECT_TRUE(holdsFor([&] { return changes == afterStop; }, std::chrono::milliseconds(100)));
}
