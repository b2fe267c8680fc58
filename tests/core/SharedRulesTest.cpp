// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/BackgroundJob.h"
#include "core/ThumbnailPaths.h"

#include "TestSupport.h"

#include <QThread>

TEST(BackgroundJob, TheResultComesBackOnTheContextThreadButNeverToADeadContext)
{
    QThreadPool pool;
    QObject context;
    QThread* doneOn = nullptr;
    QThread* jobOn = nullptr;
    runInBackground(
        &pool, &context, [&jobOn] { return jobOn = QThread::currentThread(), 42; },
        [&](int result) { doneOn = result == 42 ? QThread::currentThread() : nullptr; });
    ASSERT_TRUE(waitUntil([&] { return doneOn != nullptr; }));
    EXPECT_EQ(doneOn, QThread::currentThread());
    EXPECT_NE(jobOn, QThread::currentThread());

    bool lateRun = false;
    auto doomed = std::make_unique<QObject>();
    runInBackground(
        &pool, doomed.get(), [] { return QThread::msleep(50), 1; }, [&](int) { lateRun = true; });
    doomed.reset();
    pool.waitForDone();
    processEvents();
    EXPECT_FALSE(lateRun);
}

TEST(ThumbnailPaths, UrisAreEscapedAsFileManagersDoAndEntriesNamedByTheirHash)
{
    const std::pair<QString, QString> cases[] = {
        {u"/home/jens/photos/me.png"_s, u"file:///home/jens/photos/me.png"_s},
        {u"/a b/c#d?e%f.png"_s, u"file:///a%20b/c%23d%3Fe%25f.png"_s},
        {u"/x/!$&'()*+,:=@~_-.png"_s, u"file:///x/!$&'()*+,:=@~_-.png"_s},
        {u"/x/[;]\"<>^`{|}.png"_s, u"file:///x/%5B%3B%5D%22%3C%3E%5E%60%7B%7C%7D.png"_s},
        {u"/bilder/Schön.png"_s, u"file:///bilder/Sch%C3%B6n.png"_s},
    };
    for (const auto& [path, uri] : cases)
        EXPECT_EQ(thumbnails::fileUri(path), uri) << path.toStdString();

    // Entries are named by the hash of the URI, as in the desktop's worked example, under the
    // cache root.
    const ScopedHome home;
    const std::pair<const char*, QString> roots[] = {
        {"", home.path() + u"/.cache/thumbnails"_s},
        {"relative/cache", home.path() + u"/.cache/thumbnails"_s},
        {"/elsewhere/cache", u"/elsewhere/cache/thumbnails"_s},
    };
    for (const auto& [cacheHome, root] : roots) {
        qputenv("XDG_CACHE_HOME", cacheHome);
        EXPECT_EQ(thumbnails::cacheRoot(), root) << cacheHome;
        EXPECT_EQ(thumbnails::largeEntryPath(u"/home/jens/photos/me.png"_s),
                  root + u"/large/c6ee772d9e49320e97ec29a7eb5b1697.png"_s);
        EXPECT_TRUE(thumbnails::failEntryPath(u"/home/jens/photos/me.png"_s)
                        .startsWith(root + u"/fail/glimra-"_s));
    }
}
