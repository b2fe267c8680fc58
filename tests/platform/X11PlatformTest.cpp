#include "library/ScreenshotItem.h"
#include "library/ScreenshotMimeData.h"
#include "platform/qt/SystemClipboard.h"
#include "platform/x11/X11MouseMonitor.h"

#include "TestSupport.h"
#include "XClient.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QWidget>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

using namespace glimra;
using namespace glimra::test;

TEST(X11Clipboard, offersPngAndTiffToOtherApplicationsAndCountsChanges)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"shot.png"_s);
    ASSERT_TRUE(makeTestImage(320, 200).save(path));
    auto item = std::make_shared<ScreenshotItem>(QImage(16, 10, QImage::Format_RGB32),
                                                 QDateTime::currentDateTime(), SyncStatus::Local,
                                                 std::nullopt, path, std::nullopt);
    SystemClipboard clipboard;
    const quint64 before = clipboard.changeCount();
    clipboard.setMimeData(new ScreenshotMimeData(item));
    ASSERT_TRUE(waitUntil([&] { return clipboard.changeCount() > before; }));

    const QStringList targets =
        QString::fromUtf8(
            runTool(u"xclip"_s, {u"-selection"_s, u"clipboard"_s, u"-t"_s, u"TARGETS"_s, u"-o"_s}))
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    EXPECT_TRUE(targets.contains(u"image/png"_s));
    EXPECT_TRUE(targets.contains(u"image/tiff"_s));
    EXPECT_FALSE(targets.contains(u"text/plain"_s));

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(
        runTool(u"xclip"_s, {u"-selection"_s, u"clipboard"_s, u"-t"_s, u"image/png"_s, u"-o"_s}),
        file.readAll());
    const QByteArray tiff =
        runTool(u"xclip"_s, {u"-selection"_s, u"clipboard"_s, u"-t"_s, u"image/tiff"_s, u"-o"_s});
    EXPECT_EQ(QImage::fromData(tiff, "TIFF").size(), QSize(320, 200));
}

TEST(X11MouseMonitor, seesPressesThatGoToOtherWindows)
{
    X11MouseMonitor monitor;
    ASSERT_TRUE(monitor.start());
    QList<QPoint> presses;
    QObject::connect(&monitor, &GlobalMouseMonitor::mousePressed,
                     [&](QPoint p) { presses.append(p); });
    processEvents(std::chrono::milliseconds(50));

    runTool(u"xdotool"_s, {u"mousemove"_s, u"321"_s, u"123"_s, u"click"_s, u"3"_s});
    ASSERT_TRUE(waitUntil([&] { return !presses.isEmpty(); }));
    EXPECT_EQ(presses.constFirst(), QPoint(321, 123));

    // A menu or a drag of another program holds the pointer; the press is seen all the same.
    presses.clear();
    XClient other;
    // The right click has opened the window manager's desktop menu, which holds the pointer.
    runTool(u"xdotool"_s, {u"key"_s, u"Escape"_s});
    ASSERT_TRUE(waitUntil([&] { return other.grabPointer(); }));
    runTool(u"xdotool"_s, {u"mousemove"_s, u"40"_s, u"50"_s, u"click"_s, u"1"_s});
    EXPECT_TRUE(waitUntil([&] { return !presses.isEmpty(); }));
    other.ungrabPointer();

    presses.clear();
    monitor.stop();
    runTool(u"xdotool"_s, {u"click"_s, u"1"_s});
    EXPECT_TRUE(holdsFor([&] { return presses.isEmpty(); }, std::chrono::milliseconds(150)));
}
