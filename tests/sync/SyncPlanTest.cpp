#include "sync/SyncPlan.h"

#include <QJsonDocument>
#include <gtest/gtest.h>

using namespace glimra;
using namespace glimra::sync;
using namespace Qt::StringLiterals;

namespace {

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

} // namespace

TEST(SyncPlan, listingRecordsDecodeByTheirMembers)
{
    const struct {
        const char* json;
        std::optional<ServerScreenshot> expected;
    } rows[] = {
        {R"({"id":3,"filename":"f","original_filename":"o.png","file_size":9,
             "capture_type":"window","uploaded_at":"2024-05-01","extra":1})",
         ServerScreenshot{3, u"f"_s, u"o.png"_s, 9, u"window"_s, u"2024-05-01"_s}},
        {R"({"id":3,"filename":"f","file_size":"9","capture_type":null})",
         ServerScreenshot{3, u"f"_s, u"f"_s, 0, {}, {}}},
        {R"({"id":9007199254740993,"filename":"f"})",
         ServerScreenshot{9007199254740993, u"f"_s, u"f"_s, 0, {}, {}}},
        {R"({"id":"3","filename":"f"})", std::nullopt},
        {R"({"id":3.5,"filename":"f"})", std::nullopt},
        {R"({"filename":"f"})", std::nullopt},
    };
    for (const auto& row : rows)
        EXPECT_EQ(decodeServerScreenshot(object(row.json)), row.expected) << row.json;
    EXPECT_EQ(decodeServerScreenshots({object(R"({"id":1})"), object(R"({"id":2,"filename":"b"})"),
                                       object(R"({"id":1,"filename":"a"})")})
                  .size(),
              2);
}

TEST(SyncPlan, onlyPlainVisibleNamesMayBecomeLibraryFiles)
{
    const struct {
        QString name;
        bool safe;
    } rows[] = {
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
    for (const auto& row : rows)
        EXPECT_EQ(isSafeLibraryName(row.name), row.safe) << row.name.toStdString();
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
