#include "sync/SyncEngine.h"

#include "library/ScreenshotManager.h"
#include "sync/NetworkManager.h"

#include "FakeSyncServer.h"
#include "Fakes.h"
#include "TestSupport.h"

#include <QBuffer>
#include <QDir>
#include <gtest/gtest.h>

using namespace glimra;
using namespace glimra::test;
using namespace std::chrono_literals;

namespace {

QByteArray png(QRgb seed)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    makeTestImage(64, 48, seed).save(&buffer, "PNG");
    return bytes;
}

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<none>");
}

class SyncEngineTest : public ::testing::Test {
protected:
    SyncEngineTest()
    {
        QDir().mkpath(home.libraryDir());
        manager.setAutoCopyEnabled(false);
        manager.setSyncService(&engine);
    }
    ~SyncEngineTest() override { manager.setSyncService(nullptr); }

    QString file(const QString& name) const { return QDir(home.libraryDir()).filePath(name); }
    void put(const QString& name, const QByteArray& bytes) const
    {
        QFile out(file(name));
        ASSERT_TRUE(out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size());
    }
    void load()
    {
        manager.loadScreenshots();
        ASSERT_TRUE(waitUntil([&] { return manager.isLibraryLoaded(); }));
    }
    // Every entry of the library folder, hidden ones included.
    QStringList folder() const
    {
        return QDir(home.libraryDir())
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                       QDir::Name);
    }
    ScreenshotItemPtr item(const QString& name) const
    {
        for (const ScreenshotItemPtr& i : manager.screenshots())
            if (i->filePath == file(name))
                return i;
        return nullptr;
    }
    SyncEngine::Report fullSync()
    {
        std::optional<SyncEngine::Report> report;
        engine.performFullSync([&](const SyncEngine::Report& r) { report = r; });
        EXPECT_TRUE(waitUntil([&] { return report.has_value(); }, 10s));
        return report.value_or(SyncEngine::Report{});
    }
    void listAndWait()
    {
        std::optional<bool> listed;
        engine.loadServerScreenshots([&](bool ok) { listed = ok; });
        ASSERT_TRUE(waitUntil([&] { return listed.has_value(); }, 10s));
        ASSERT_TRUE(waitUntil([&] { return !manager.isDownloadingMissing(); }, 10s));
    }

    ScopedHome home;
    FakeClipboard clipboard;
    FakeFolderPicker picker;
    ScreenshotManager manager{&clipboard, &picker};
    FakeSyncServer fake;
    NetworkManager net{fake.origin()};
    std::optional<QString> token = u"tok"_s;
    SyncEngine engine{&manager, &net, [this] { return token; }};
};

} // namespace

TEST_F(SyncEngineTest, signedOutEveryOperationIsSilent)
{
    token.reset();
    ASSERT_TRUE(writeImage(file(u"a.png"_s), makeTestImage(40, 30)));
    load();
    fake.add(u"b.png"_s, png(1));
    const QList<ServerScreenshot> known{{1, u"s1.png"_s, u"a.png"_s, 1, {}, {}}};
    manager.setServerScreenshots(known);
    const ScreenshotItemPtr a = item(u"a.png"_s);
    manager.uploadScreenshot(a);
    manager.loadServerScreenshots();
    manager.performFullSync();
    manager.downloadMissingScreenshots();
    manager.deleteServerScreenshot(known.first());
    EXPECT_EQ(fullSync().signedIn, false);
    EXPECT_TRUE(holdsFor(
        [&] {
            return fake.server.received().empty() && !manager.isLoadingServer() &&
                   !manager.isDownloadingMissing() && manager.statusMessage().isEmpty() &&
                   a->syncStatus == SyncStatus::Local && manager.serverScreenshots() == known;
        },
        300ms));
    EXPECT_EQ(folder(), QStringList{u"a.png"_s});
}

TEST_F(SyncEngineTest, fullSyncUploadsWhatTheServerLacksAndFetchesWhatTheFolderLacks)
{
    for (const char* name : {"a.png", "b.png", "c.png"})
        ASSERT_TRUE(writeImage(file(QString::fromLatin1(name)), makeTestImage(40, 30)));
    put(u"notes.txt"_s, "not a picture, but the name is taken");
    load();
    item(u"c.png"_s)->syncStatus = SyncStatus::Failed; // a failed upload is not retried
    fake.add(u"a.png"_s, png(1));
    fake.add(u"notes.txt"_s, png(2));
    fake.add(u"new.png"_s, png(3));
    fake.add(u"new.png"_s, png(4)); // the same name twice: the newest record wins

    const SyncEngine::Report report = fullSync();
    EXPECT_TRUE(report.listed);
    EXPECT_EQ(report.onServer, 4);
    EXPECT_EQ(report.uploaded, 1);
    EXPECT_EQ(report.downloaded, 1);
    EXPECT_EQ(fake.requests("name=\"original_filename\""), 1);
    EXPECT_EQ(fake.requests("original_filename\"\r\n\r\nb.png"), 1);
    EXPECT_EQ(item(u"a.png"_s)->syncStatus, SyncStatus::Local);
    EXPECT_EQ(item(u"b.png"_s)->syncStatus, SyncStatus::Synced);
    EXPECT_EQ(item(u"b.png"_s)->serverId, std::optional(u"5"_s));
    EXPECT_EQ(item(u"c.png"_s)->syncStatus, SyncStatus::Failed);
    const ScreenshotItemPtr fetched = item(u"new.png"_s);
    ASSERT_TRUE(fetched);
    EXPECT_EQ(contents(file(u"new.png"_s)), png(4));
    EXPECT_EQ(fetched->syncStatus, SyncStatus::Synced);
    EXPECT_EQ(fetched->serverId, std::optional(u"4"_s));
    EXPECT_EQ(fetched->captureType, std::optional(u"window"_s));
    EXPECT_EQ(manager.screenshots().first(), fetched); // newest: its date is the download's
    EXPECT_EQ(manager.statusMessage(), u"Downloaded 1 screenshot from server"_s);
    EXPECT_TRUE(manager.lastSyncDate());
    EXPECT_EQ(folder(),
              (QStringList{u"a.png"_s, u"b.png"_s, u"c.png"_s, u"new.png"_s, u"notes.txt"_s}));

    const SyncEngine::Report again = fullSync();
    EXPECT_EQ(again.onServer, 5);
    EXPECT_EQ(again.uploaded + again.downloaded + again.uploadsFailed + again.downloadsFailed, 0);
}

TEST_F(SyncEngineTest, eachDownloadIsJudgedOnItsOwnAndOnlyWholePicturesArrive)
{
    // A body cut off after its first bytes, the rest announced but never sent.
    const TestServer::Responder cut = [](const Received&, httplib::Response& out) {
        out.set_content_provider(100000, "image/png", [](size_t, size_t, httplib::DataSink& sink) {
            const std::string head(4096, 'x');
            sink.write(head.data(), head.size());
            return false;
        });
    };
    const struct {
        const char* name;
        TestServer::Responder reply;
        bool stays; // the file is in the folder afterwards
    } rows[] = {
        {"ok.png", reply(200, png(7).toStdString(), "image/png"), true},
        {"gone.png", reply(404, png(7).toStdString(), "image/png"), false},
        {"short.png", reply(200, "Screenshot not found", "text/plain"), false},
        {"empty.png", reply(200, "", "image/png"), false},
        {"cut.png", cut, false},
        {"text.png", reply(200, std::string(300, 'x'), "image/png"), true}, // not a picture
    };
    for (const auto& row : rows)
        fake.downloads[fake.add(QString::fromLatin1(row.name), {})] = row.reply;
    load();
    listAndWait();

    QStringList expected;
    for (const auto& row : rows) {
        if (row.stays)
            expected.append(QString::fromLatin1(row.name));
    }
    expected.sort();
    EXPECT_EQ(folder(), expected);
    EXPECT_EQ(manager.screenshots().size(), 1);
    EXPECT_TRUE(item(u"ok.png"_s));
    // Cleared after three seconds, as any text that still tells of a download.
    EXPECT_EQ(manager.statusMessage(), u"Downloaded 1 screenshot from server"_s);
    manager.setStatusMessage(u"Downloaded, and then some"_s);
    EXPECT_TRUE(holdsFor([&] { return !manager.statusMessage().isEmpty(); }, 2500ms));
    EXPECT_TRUE(waitUntil([&] { return manager.statusMessage().isEmpty(); }, 1500ms));
}

TEST_F(SyncEngineTest, namesThatAreNoPlainFileNameAreNeitherWrittenNorDeleted)
{
    const QString outside = home.dataHome() + u"/evil.png"_s;
    QFile planted(outside);
    ASSERT_TRUE(planted.open(QIODevice::WriteOnly) && planted.write("mine"));
    planted.close();
    const QString evil[] = {u""_s,
                            u"."_s,
                            u".."_s,
                            u"../evil.png"_s,
                            u"sub/x.png"_s,
                            u".hidden.png"_s,
                            QString(300, u'a'),
                            u"nul\0.png"_s,
                            u"/tmp/evil.png"_s};
    for (const QString& name : evil)
        fake.add(name, png(1));
    fake.add(u"fine.png"_s, png(2));
    load();
    listAndWait();
    EXPECT_EQ(fake.requests("action=download"), 1);
    EXPECT_EQ(folder(), QStringList{u"fine.png"_s});

    // Deleting those records on the server touches no file; a plain one takes its copy along.
    const QList<ServerScreenshot> records = manager.serverScreenshots();
    ASSERT_EQ(records.size(), std::ssize(evil) + 1);
    for (const ServerScreenshot& record : records)
        engine.deleteServerScreenshot(record);
    ASSERT_TRUE(waitUntil([&] { return manager.serverScreenshots().isEmpty(); }));
    EXPECT_EQ(contents(outside), "mine");
    EXPECT_TRUE(folder().isEmpty());
    EXPECT_TRUE(manager.screenshots().isEmpty());
    EXPECT_EQ(manager.statusMessage(), u"Deleted from server"_s);

    // A failure shows the server's text, for two seconds.
    engine.deleteServerScreenshot({999, u"x"_s, u"x.png"_s, 0, {}, {}});
    ASSERT_TRUE(waitUntil([&] { return manager.statusMessage() == u"Screenshot not found"_s; }));
    EXPECT_TRUE(waitUntil([&] { return manager.statusMessage().isEmpty(); }, 2500ms));
}

TEST_F(SyncEngineTest, aLocalFileThatAppearsDuringTheDownloadWins)
{
    fake.downloads[fake.add(u"same.png"_s, {})] =
        reply(200, png(2).toStdString(), "image/png", 400ms);
    load();
    engine.loadServerScreenshots();
    ASSERT_TRUE(waitUntil([&] { return fake.requests("action=download") == 1; }));
    put(u"same.png"_s, "the user's own");
    ASSERT_TRUE(waitUntil([&] { return !manager.isDownloadingMissing(); }));
    EXPECT_EQ(contents(file(u"same.png"_s)), "the user's own");
    EXPECT_EQ(folder(), QStringList{u"same.png"_s});
    EXPECT_TRUE(manager.screenshots().isEmpty());
    EXPECT_TRUE(manager.statusMessage().isEmpty());
}

TEST_F(SyncEngineTest, aFewTransfersRunAtOnceAndOverlappingSyncsFetchEachFileOnce)
{
    // Downloads wait at the server until the second sync has made its plan.
    std::atomic<bool> open = false;
    for (int i = 0; i < 12; ++i) {
        const QByteArray bytes = png(0xff000000u + static_cast<QRgb>(i));
        fake.downloads[fake.add(u"f%1.png"_s.arg(i), {})] = [&open, bytes](const Received& r,
                                                                           httplib::Response& out) {
            while (!open)
                std::this_thread::sleep_for(5ms);
            reply(200, bytes.toStdString(), "image/png")(r, out);
        };
    }
    load();
    engine.loadServerScreenshots();
    ASSERT_TRUE(waitUntil([&] { return manager.isDownloadingMissing(); }));
    std::optional<SyncEngine::Report> overlapping;
    engine.performFullSync([&](const SyncEngine::Report& r) { overlapping = r; });
    ASSERT_TRUE(waitUntil([&] { return fake.requests("\"list\"") == 2; }));
    processEvents(300ms);
    open = true;
    ASSERT_TRUE(waitUntil([&] { return overlapping.has_value(); }, 10s));
    EXPECT_EQ(overlapping->downloaded, 12); // it waited for the shared downloads
    EXPECT_EQ(fake.requests("action=download"), 12);
    EXPECT_EQ(fake.mostAtOnce.load(), SyncEngine::kMaxParallelTransfers);
    EXPECT_EQ(manager.screenshots().size(), 12);
    EXPECT_EQ(manager.statusMessage(), u"Downloaded 12 screenshots from server"_s);
}

TEST_F(SyncEngineTest, anUploadSettlesByItsReply)
{
    const struct {
        const char* reply;
        SyncStatus status;
        std::optional<QString> serverId;
    } rows[] = {
        {R"({"success":true,"screenshot":{"id":42}})", SyncStatus::Synced, u"42"_s},
        {R"({"success":true,"screenshot":{"id":"42"}})", SyncStatus::Synced, std::nullopt},
        {R"({"success":true})", SyncStatus::Failed, std::nullopt},
        {R"({"success":false,"error":"Quota"})", SyncStatus::Failed, std::nullopt},
        {"<html>502</html>", SyncStatus::Failed, std::nullopt},
    };
    ASSERT_TRUE(writeImage(file(u"up.png"_s), makeTestImage(40, 30)));
    for (const auto& row : rows) {
        fake.uploads = reply(200, row.reply);
        auto up = std::make_shared<ScreenshotItem>(QImage(), QDateTime::currentDateTime(),
                                                   SyncStatus::Local, std::nullopt,
                                                   file(u"up.png"_s), std::nullopt);
        engine.uploadScreenshot(up);
        EXPECT_EQ(up->syncStatus, SyncStatus::Syncing);
        ASSERT_TRUE(waitUntil([&] { return up->syncStatus != SyncStatus::Syncing; })) << row.reply;
        EXPECT_EQ(up->syncStatus, row.status) << row.reply;
        EXPECT_EQ(up->serverId, row.serverId) << row.reply;
    }
    EXPECT_EQ(fake.requests("name=\"capture_type\"\r\n\r\nfullscreen"), std::ssize(rows));
    // A file that is gone is not sent, and the item keeps its state.
    const size_t sent = fake.server.received().size();
    auto gone =
        std::make_shared<ScreenshotItem>(QImage(), QDateTime::currentDateTime(), SyncStatus::Local,
                                         std::nullopt, file(u"gone.png"_s), std::nullopt);
    engine.uploadScreenshot(gone);
    EXPECT_TRUE(holdsFor([&] { return fake.server.received().size() == sent; }, 100ms));
    EXPECT_EQ(gone->syncStatus, SyncStatus::Local);
}

TEST_F(SyncEngineTest, aSyncAtStartWaitsForTheLibraryBeforeItDecidesWhatToUpload)
{
    ASSERT_TRUE(writeImage(file(u"early.png"_s), makeTestImage(40, 30)));
    engine.performFullSync();
    ASSERT_TRUE(waitUntil([&] { return fake.requests("\"list\"") == 1; }));
    EXPECT_TRUE(holdsFor([&] { return fake.requests("original_filename") == 0; }, 200ms));
    load();
    EXPECT_TRUE(waitUntil([&] { return item(u"early.png"_s)->syncStatus == SyncStatus::Synced; }));
}
