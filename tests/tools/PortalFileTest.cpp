// SPDX-License-Identifier: GPL-3.0-or-later
#include "PortalFile.h"
#include "SwayWindows.h"

#include <QDir>
#include <QTemporaryDir>
#include <QUrl>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace glimra::capture;

namespace {

struct Case {
    const char* name;
    // Puts something at path (the name the portal answers with) in folder.
    void (*make)(const QString& path, const QString& folder);
    bool taken;
};

void write(const QString& path)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("picture");
}

void makeOld(const QString& path)
{
    write(path);
    const timespec times[2] = {{0, UTIME_OMIT}, {::time(nullptr) - 60, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
}

const Case kCases[] = {
    {"fresh file of the user", [](const QString& p, const QString&) { write(p); }, true},
    {"file older than the request", [](const QString& p, const QString&) { makeOld(p); }, false},
    {"link to a fresh file",
     [](const QString& p, const QString& folder) {
         write(folder + QStringLiteral("/target"));
         QFile::link(folder + QStringLiteral("/target"), p);
     },
     false},
    {"pipe", [](const QString& p, const QString&) { ::mkfifo(QFile::encodeName(p), 0600); }, false},
    {"folder", [](const QString& p, const QString&) { QDir().mkpath(p); }, false},
    {"another user's file",
     [](const QString& p, const QString&) {
         write(p);
         // Without root the file cannot be given away: then there is simply none.
         if (::chown(QFile::encodeName(p).constData(), ::geteuid() + 1, ::getegid()) != 0)
             QFile::remove(p);
     },
     false},
    {"nothing there", [](const QString&, const QString&) {}, false},
};

} // namespace

TEST(PortalFile, TakesAndRemovesOnlyThisRequestsOwnRegularFile)
{
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir folder;
        const QString path = folder.path() + QStringLiteral("/out 1.png");
        timespec began{};
        clock_gettime(CLOCK_REALTIME_COARSE, &began);
        c.make(path, folder.path());
        QFileInfo before(path);
        const bool existed = before.exists() || before.isSymLink();
        const PortalPicture picture =
            takePortalPicture(QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded), began);
        EXPECT_EQ(picture.error.isEmpty(), c.taken) << picture.error.toStdString();
        EXPECT_EQ(picture.bytes, c.taken ? QByteArray("picture") : QByteArray());
        QFileInfo after(path);
        EXPECT_EQ(after.exists() || after.isSymLink(), existed && !c.taken);
        EXPECT_TRUE(QFile::exists(folder.path() + QStringLiteral("/target")) ||
                    !before.isSymLink());
    }
    EXPECT_FALSE(
        takePortalPicture(QStringLiteral("https://example.org/out.png"), {}).error.isEmpty());
}

TEST(SwayWindows, VisibleWindowsTiledBelowFloatingScaledToThePicture)
{
    const QByteArray tree = R"({"nodes": [{"type": "output", "nodes": [{"type": "workspace",
        "nodes": [{"id": 4, "pid": 10, "visible": true,
                   "rect": {"x": 0, "y": 0, "width": 640, "height": 720}},
                  {"id": 5, "pid": 11, "visible": false,
                   "rect": {"x": 640, "y": 0, "width": 640, "height": 720}}],
        "floating_nodes": [{"id": 6, "pid": 12, "visible": true,
                            "rect": {"x": 100, "y": 50, "width": 300, "height": 200}}]}]}]})";
    const std::vector<WindowFrame> frames = swayWindowFrames(tree, 2.0);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].id, 4u);
    EXPECT_EQ(frames[0].frame, QRect(0, 0, 1280, 1440));
    EXPECT_EQ(frames[1].id, 6u);
    EXPECT_EQ(frames[1].frame, QRect(200, 100, 600, 400));
    EXPECT_TRUE(swayWindowFrames("not json", 1.0).empty());
}
