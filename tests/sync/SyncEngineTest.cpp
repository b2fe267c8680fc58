// SPDX-License-Identifier: GPL-3.0-or-later
#include "sync/SyncEngine.h"

#include "library/ScreenshotManager.h"
#include "sync/NetworkManager.h"
#include "sync/SyncPlan.h"

#include "FakeSyncServer.h"
#include "ManagerFixture.h"

#include <QJsonDocument>

using namespace glimra::sync;

namespace {

QByteArray png(QRgb seed)
{
    return encodeImage(makeTestImage(64, 48, seed));
}

QJsonObject object(const char* json)
{
    return QJsonDocument::fromJson(json).object();
}

ScreenshotItemPtr local(const QString& path, SyncStatus status = SyncStatus::Local)
{
    return std::make_shared<ScreenshotItem>(QImage(), QDateTime(), status, std::nullopt,
                                            path.isEmpty() ? std::nullopt : std::optional(path),
                                            std::nullopt);
}

ServerScreenshot record(qint64 id, const QString& name)
{
    return {id, u"s%1.png"_s.arg(id), name, 0, {}, {}};
}

class SyncEngineTest : public ManagerFixture {
protected:
    SyncEngineTest()
    {
        manager.setAutoCopyEnabled(false);
        manager.setSyncService(&engine);
    }
    ~SyncEngineTest() override { manager.setSyncService(nullptr); }

    ScreenshotItemPtr item(const QString& name) const
    {
        for (const ScreenshotItemPtr& i : manager.screenshots())
            if (i->filePath == libraryFile(name))
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

    FakeSyncServer fake;
    NetworkManager net{fake.server.origin()};
    std::optional<QString> token = u"tok"_s;
    SyncEngine engine{&manager, &net, [this] { return token; }};
};

} // namespace

TEST_F(SyncEngineTest, signedOutEveryOperationIsSilent)
{
    token.reset();
    ASSERT_TRUE(writeImage(libraryFile(u"a.png"_s), makeTestImage(40, 30)));
    loadAndWait();
    fake.add(u"b.png"_s, png(1));
    const QList<ServerScreenshot> known{{1, u"s1.png"_s, u"a.png"_s, 1, {}, {}}};
    manager.setServerScreenshots(known);
    manager.uploadScreenshot(item(u"a.png"_s));
    manager.loadServerScreenshots();
    manager.downloadMissingScreenshots();
    manager.deleteServerScreenshot(known.first());
    EXPECT_FALSE(fullSync().signedIn);
    EXPECT_TRUE(holdsFor(
        [&] {
            return fake.server.received().empty() && !manager.isLoadingServer() &&
                   manager.statusMessage().isEmpty() && manager.serverScreenshots() == known &&
                   item(u"a.png"_s)->syncStatus == SyncStatus::Local;
        },
        300ms));
    EXPECT_EQ(entriesOf(home.libraryDir()), QStringList{u"a.png"_s});
}

TEST_F(SyncEngineTest, aFullSyncUploadsWhatTheServerLacksAndFetchesWhatTheFolderLacks)
{
    for (const char* name : {"a.png", "b.png"})
        ASSERT_TRUE(writeImage(libraryFile(QString::fromLatin1(name)), makeTestImage(40, 30)));
    ASSERT_TRUE(writeFile(libraryFile(u"notes.txt"_s), {})); // not a picture, but the name is taken
    loadAndWait();
    for (const char* name : {"a.png", "notes.txt", "new.png", "new.png"})
        fake.add(QString::fromLatin1(name), png(fake.lastId));

    const SyncEngine::Report report = fullSync();
    EXPECT_EQ(std::tuple(report.listed, report.onServer, report.uploaded, report.downloaded),
              std::tuple(true, 4, 1, 1));
    EXPECT_EQ(fake.requests("original_filename\"\r\n\r\nb.png"), 1);
    EXPECT_EQ(item(u"a.png"_s)->syncStatus, SyncStatus::Local);
    EXPECT_EQ(item(u"b.png"_s)->serverId, std::optional(u"5"_s));
    const ScreenshotItemPtr fetched = manager.screenshots().first(); // dated by its download
    EXPECT_EQ(fetched->filePath, libraryFile(u"new.png"_s));
    EXPECT_EQ(readFile(libraryFile(u"new.png"_s)), png(3)); // the newest record of the name
    EXPECT_EQ(std::tuple(fetched->syncStatus, fetched->serverId, fetched->captureType),
              std::tuple(SyncStatus::Synced, std::optional(u"4"_s), std::optional(u"window"_s)));
    EXPECT_EQ(manager.statusMessage(), u"Downloaded 1 screenshot from server"_s);
    EXPECT_TRUE(manager.lastSyncDate());
    EXPECT_EQ(entriesOf(home.libraryDir()).size(), 4); // no temporary left behind

    const SyncEngine::Report again = fullSync();
    EXPECT_EQ(std::tuple(again.onServer, again.uploaded, again.downloaded), std::tuple(5, 0, 0));

    // A failure says why; a deletion takes the local copy of the name along.
    engine.deleteServerScreenshot({999, u"x"_s, u"x.png"_s, 0, {}, {}});
    ASSERT_TRUE(waitUntil([&] { return manager.statusMessage() == u"Screenshot not found"_s; }));
    engine.deleteServerScreenshot(manager.serverScreenshots().at(1));
    ASSERT_TRUE(waitUntil([&] { return manager.statusMessage() == u"Deleted from server"_s; }));
    EXPECT_FALSE(QFile::exists(libraryFile(u"new.png"_s)) || item(u"new.png"_s));
    EXPECT_EQ(manager.serverScreenshots().size(), 4);
    // A name that would reach outside the library folder takes no file along.
    ASSERT_TRUE(writeFile(libraryFile(u"../evil.png"_s), "mine"));
    bool ended = false;
    engine.deleteServerScreenshot(
        {fake.add(u"../evil.png"_s, {}), u"e"_s, u"../evil.png"_s, 0, {}, {}},
        [&](auto) { ended = true; });
    ASSERT_TRUE(waitUntil([&] { return ended; }));
    EXPECT_EQ(readFile(libraryFile(u"../evil.png"_s)), "mine");
}

TEST_F(SyncEngineTest, eachDownloadIsJudgedOnItsOwnAndOnlyWholePicturesArrive)
{
    // A body cut off after its first bytes, the rest announced but never sent.
    const TestServer::Responder cut = [](const Received&, httplib::Response& out) {
        out.set_content_provider(100000, "image/png", [](size_t, size_t, httplib::DataSink& sink) {
            return sink.write(std::string(4096, 'x').data(), 4096), false;
        });
    };
    const std::pair<const char*, TestServer::Responder> rows[] = {
        {"ok.png", reply(200, png(7).toStdString(), "image/png")},
        {"gone.png", reply(404, png(7).toStdString(), "image/png")},
        {"empty.png", reply(200, "", "image/png")},
        {"cut.png", cut},
        {"text.png", reply(200, std::string(300, 'x'), "image/png")}, // stays: not a picture
        {"late.png", reply(200, png(8).toStdString(), "image/png", 400ms)},
    };
    for (const auto& [name, responder] : rows)
        fake.downloads[fake.add(QString::fromLatin1(name), {})] = responder;
    loadAndWait();
    engine.loadServerScreenshots();
    // A file that appears while its download is under way wins over the download.
    ASSERT_TRUE(waitUntil([&] { return fake.requests("id=6") == 1; }));
    ASSERT_TRUE(writeFile(libraryFile(u"late.png"_s), "the user's own"));
    ASSERT_TRUE(waitUntil([&] { return !manager.isDownloadingMissing(); }));

    EXPECT_EQ(entriesOf(home.libraryDir()),
              (QStringList{u"late.png"_s, u"ok.png"_s, u"text.png"_s}));
    EXPECT_EQ(readFile(libraryFile(u"late.png"_s)), "the user's own");
    EXPECT_EQ(manager.screenshots().size(), 1);
    EXPECT_EQ(manager.statusMessage(), u"Downloaded 1 screenshot from server"_s);
}

TEST_F(SyncEngineTest, aFewTransfersRunAtOnceAndOverlappingSyncsFetchEachFileOnce)
{
    // Downloads wait at the server until the second sync has made its plan.
    std::atomic<bool> open = false;
    for (int i = 0; i < 12; ++i) {
        fake.downloads[fake.add(u"f%1.png"_s.arg(i), {})] =
            [&open, bytes = png(0xff000000u + QRgb(i))](const Received& r, httplib::Response& out) {
                while (!open)
                    std::this_thread::sleep_for(5ms);
                reply(200, bytes.toStdString(), "image/png")(r, out);
            };
    }
    loadAndWait();
    engine.loadServerScreenshots();
    ASSERT_TRUE(waitUntil([&] { return manager.isDownloadingMissing(); }));
    std::optional<SyncEngine::Report> overlapping;
    engine.performFullSync([&](const SyncEngine::Report& r) { overlapping = r; });
    ASSERT_TRUE(waitUntil([&] { return fake.requests("\"list\"") == 2; }));
    // A new capture meanwhile goes ahead of the eight downloads still queued.
    ASSERT_TRUE(writeImage(libraryFile(u"new.png"_s), makeTestImage(40, 30)));
    engine.uploadScreenshot(local(libraryFile(u"new.png"_s)));
    processEvents(300ms);
    open = true;
    ASSERT_TRUE(waitUntil([&] { return overlapping.has_value(); }, 10s));
    ASSERT_TRUE(waitUntil([&] { return fake.requests("new.png") == 1; }));
    const std::vector<Received> all = fake.server.received();
    const auto upload = std::find_if(all.begin(), all.end(), [](const Received& r) {
        return r.body.find("new.png") != std::string::npos;
    });
    // Four were running; the three other slots freed at the same moment may race it.
    EXPECT_LE(
        std::count_if(all.begin(), upload, [](const Received& r) { return r.method == "GET"; }), 7);
    EXPECT_EQ(overlapping->downloaded, 12); // it waited for the shared downloads
    EXPECT_EQ(fake.requests("action=download"), 12);
    EXPECT_EQ(fake.mostAtOnce.load(), SyncEngine::kMaxParallelTransfers);
    EXPECT_EQ(manager.statusMessage(), u"Downloaded 12 screenshots from server"_s);
}

TEST_F(SyncEngineTest, anUploadSettlesByItsReply)
{
    const std::tuple<const char*, SyncStatus, std::optional<QString>> rows[] = {
        {R"({"success":true,"screenshot":{"id":42}})", SyncStatus::Synced, u"42"_s},
        {R"({"success":true,"screenshot":{"id":"42"}})", SyncStatus::Synced, std::nullopt},
        {R"({"success":true})", SyncStatus::Failed, std::nullopt},
        {R"({"success":false,"error":"Quota"})", SyncStatus::Failed, std::nullopt},
        {"<html>502</html>", SyncStatus::Failed, std::nullopt},
    };
    ASSERT_TRUE(writeImage(libraryFile(u"up.png"_s), makeTestImage(40, 30)));
    for (const auto& [answer, status, serverId] : rows) {
        fake.uploads = reply(200, answer);
        const ScreenshotItemPtr up = local(libraryFile(u"up.png"_s));
        engine.uploadScreenshot(up);
        EXPECT_EQ(up->syncStatus, SyncStatus::Syncing);
        ASSERT_TRUE(waitUntil([&] { return up->syncStatus != SyncStatus::Syncing; }));
        EXPECT_EQ(std::tuple(up->syncStatus, up->serverId), std::tuple(status, serverId)) << answer;
    }
    EXPECT_EQ(fake.requests("capture_type\"\r\n\r\nfullscreen"), std::ssize(rows));
    // A file that is gone is not sent, and the item keeps its state.
    const ScreenshotItemPtr gone = local(libraryFile(u"gone.png"_s));
    engine.uploadScreenshot(gone);
    EXPECT_TRUE(holdsFor([&] { return fake.requests("gone.png") == 0; }, 100ms));
    EXPECT_EQ(gone->syncStatus, SyncStatus::Local);
}

TEST_F(SyncEngineTest, aReplacedFileLeavesOnlyItsNewPictureOnTheServerAndKeepsItsFile)
{
    const auto replace = [&](const QString& name) {
        std::optional<bool> ok;
        engine.replaceServerCopy(local(libraryFile(name)), [&](bool done) { ok = done; });
        EXPECT_TRUE(waitUntil([&] { return ok.has_value(); }));
        return ok.value_or(false);
    };
    for (const char* name : {"a.png", "never.png", "refused.png"})
        ASSERT_TRUE(writeFile(libraryFile(QString::fromLatin1(name)), png(9)));
    fake.add(u"a.png"_s, png(1));
    fake.add(u"a.png"_s, png(1)); // an earlier copy of the name holds the old picture too
    fake.add(u"b.png"_s, png(2));
    fake.add(u"refused.png"_s, png(3));
    EXPECT_TRUE(replace(u"a.png"_s));
    EXPECT_TRUE(replace(u"never.png"_s)); // never synced: stays local, nothing sent
    fake.uploads = reply(200, R"({"success":false,"error":"Quota"})");
    EXPECT_FALSE(replace(u"refused.png"_s)); // the old copy stays until a new one is up
    QStringList onServer;
    for (const FakeSyncServer::Record& r : fake.records)
        onServer.append(u"%1 %2"_s.arg(r.name).arg(r.id));
    EXPECT_EQ(onServer, (QStringList{u"a.png 5"_s, u"refused.png 4"_s, u"b.png 3"_s}));
    EXPECT_EQ(fake.requests("never.png"), 0);
    for (const char* name : {"a.png", "never.png", "refused.png"})
        EXPECT_EQ(readFile(libraryFile(QString::fromLatin1(name))), png(9)) << name;
}

TEST_F(SyncEngineTest, aSyncAtStartWaitsForTheLibraryBeforeItDecidesWhatToUpload)
{
    ASSERT_TRUE(writeImage(libraryFile(u"early.png"_s), makeTestImage(40, 30)));
    engine.performFullSync();
    ASSERT_TRUE(waitUntil([&] { return fake.requests("\"list\"") == 1; }));
    EXPECT_TRUE(holdsFor([&] { return fake.requests("original_filename") == 0; }, 200ms));
    loadAndWait();
    EXPECT_TRUE(waitUntil([&] { return item(u"early.png"_s)->syncStatus == SyncStatus::Synced; }));
}

TEST(SyncPlan, listingRecordsDecodeByTheirMembers)
{
    const std::pair<const char*, std::optional<ServerScreenshot>> rows[] = {
        {R"({"id":3,"filename":"f","original_filename":"o.png","file_size":9,
             "capture_type":"window","uploaded_at":"2024-05-01","extra":1})",
         ServerScreenshot{3, u"f"_s, u"o.png"_s, 9, u"window"_s, u"2024-05-01"_s, {}}},
        // Only links with an id and a web address are kept.
        {R"({"id":3,"filename":"f","shares":[{"id":"a","url":"https://h/s/a","expires_at":null},
             {"id":"b","url":"javascript:x"},{"url":"https://h/s/c"},{"id":"d","url":"/s/d"}]})",
         ServerScreenshot{3, u"f"_s, u"f"_s, 0, {}, {}, {{u"a"_s, u"https://h/s/a"_s, {}}}}},
        {R"({"id":3,"filename":"f","file_size":"9","capture_type":null})",
         ServerScreenshot{3, u"f"_s, u"f"_s, 0, {}, {}, {}}},
        {R"({"id":9007199254740993,"filename":"f"})",
         ServerScreenshot{9007199254740993, u"f"_s, u"f"_s, 0, {}, {}, {}}},
        {R"({"id":0,"filename":"f"})", ServerScreenshot{0, u"f"_s, u"f"_s, 0, {}, {}, {}}},
        {R"({"id":"3","filename":"f"})", std::nullopt},
        {R"({"id":3.5,"filename":"f"})", std::nullopt},
        {R"({"id":1e300,"filename":"f"})", std::nullopt},
        {R"({"filename":"f"})", std::nullopt},
    };
    for (const auto& [json, expected] : rows)
        EXPECT_EQ(decodeServerScreenshot(object(json)), expected) << json;
    EXPECT_EQ(decodeServerScreenshots({object(R"({"id":1})"), object(R"({"id":2,"filename":"b"})"),
                                       object(R"({"id":1,"filename":"a"})")})
                  .size(),
              2);
}

TEST(SyncPlan, onlyPlainVisibleNamesMayBecomeLibraryFiles)
{
    const std::pair<QString, bool> rows[] = {
        {u"Glimra_2024-05-01_12-00-00.png"_s, true},
        {u"Bildschirmfoto vom 1. Mai ü.png"_s, true},
        {QString(255, u'a'), true},
        {QString(256, u'a'), false},
        {QString(128, u'ü'), false}, // 256 bytes on disk
        {u""_s, false},
        {u"."_s, false},
        {u".."_s, false},
        {u"../x.png"_s, false},
        {u"a/b.png"_s, false},
        {u".hidden.png"_s, false},
        {u"a\0b.png"_s, false},
    };
    for (const auto& [name, safe] : rows)
        EXPECT_EQ(isSafeLibraryName(name), safe) << name.toStdString();
}

TEST(SyncPlan, copiesAreMatchedByNameAlone)
{
    const QList<ScreenshotItemPtr> items{
        local(u"/lib/a.png"_s),
        local(u"/lib/b.png"_s),
        local(u"/elsewhere/c.png"_s), // a custom save folder: matched by name all the same
        local(u"/lib/d.png"_s, SyncStatus::Failed),
        local(u"/lib/e.png"_s, SyncStatus::Syncing),
        local(u"/lib/f.png"_s, SyncStatus::Synced),
        local({}),
    };
    const QList<ServerScreenshot> records{
        record(1, u"a.png"_s),        record(2, u"x.png"_s), record(3, u"x.png"_s),
        record(4, u"notes.txt"_s),    record(5, u".hid"_s),  record(6, u"../up.png"_s),
        record(7, u".partial.png"_s), record(8, u"y.png"_s),
    };
    const QSet<QString> folder{u"a.png"_s, u"b.png"_s, u"notes.txt"_s, u".partial.png"_s};

    const SyncPlan plan = planSync(folder, items, records);
    QStringList uploads;
    for (const ScreenshotItemPtr& item : plan.uploads)
        uploads.append(*item->filePath);
    EXPECT_EQ(uploads, (QStringList{u"/lib/b.png"_s, u"/elsewhere/c.png"_s}));
    QList<qint64> downloads;
    for (const ServerScreenshot& r : plan.downloads)
        downloads.append(r.id);
    EXPECT_EQ(downloads, (QList<qint64>{2, 8}));

    EXPECT_TRUE(planSync({}, {}, {}).downloads.isEmpty());
    EXPECT_EQ(planSync({}, items, {}).uploads.size(), 3);
}
