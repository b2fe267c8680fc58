#include "filecut/FinderCutManager.h"
#include "platform/ActiveWindowClass.h"
#include "platform/x11/X11KeyGrabber.h"

#include "TestSupport.h"
#include "XClient.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <list>

using namespace glimra;
using namespace glimra::test;
using namespace Qt::StringLiterals;

namespace {

TEST(FileManagerCut, superXThenSuperVMovesAFileBetweenTwoWindows)
{
    QTemporaryDir root;
    const QString a = root.filePath(u"A"_s), b = root.filePath(u"B"_s);
    ASSERT_TRUE(QDir().mkpath(a) && QDir().mkpath(b) && QDir().mkpath(root.filePath(u"home"_s)));
    ASSERT_TRUE(writeFile(a + u"/moveme.txt"_s, "glimra"));

    X11KeyGrabber grabber;
    FinderCutManager manager(grabber, activeWindowClass);
    manager.install();

    // A real PCManFM in a throw-away home, where its single-instance socket is new: the first
    // one started keeps running and opens each later folder in a window of its own.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"HOME"_s, root.filePath(u"home"_s));
    for (const char* var : {"XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME"})
        env.insert(QString::fromLatin1(var), root.filePath(u"home/"_s + QString::fromLatin1(var)));
    std::list<QProcess> pcmanfm;
    const auto stop = qScopeGuard([&] {
        for (QProcess& p : pcmanfm)
            p.kill(), p.waitForFinished();
    });
    // The window's id, once it is active; empty if it never showed.
    const auto open = [&](const QString& folder) {
        QProcess& process = pcmanfm.emplace_back();
        process.setProcessEnvironment(env);
        process.start(u"pcmanfm"_s, {u"--new-win"_s, folder});
        const QString title = u"^"_s + QFileInfo(folder).fileName() + u"$"_s;
        const QString window = QString::fromLatin1(xdotool(u"search --sync --name "_s + title))
                                   .split(u'\n', Qt::SkipEmptyParts)
                                   .value(0);
        xdotool(u"windowactivate --sync "_s + window);
        processEvents(std::chrono::milliseconds(300));
        return window;
    };

    // Cut in A, paste in B.
    ASSERT_FALSE(open(a).isEmpty());
    xdotool(u"key ctrl+a"_s);
    xdotool(u"key super+x"_s);
    ASSERT_TRUE(waitUntil([&] { return manager.cutPending(); }));
    ASSERT_FALSE(open(b).isEmpty());
    xdotool(u"key super+v"_s);
    EXPECT_TRUE(waitUntil([&] { return QFile::exists(b + u"/moveme.txt"_s); }));
    EXPECT_FALSE(QFile::exists(a + u"/moveme.txt"_s));
    EXPECT_FALSE(manager.cutPending());
}

} // namespace
