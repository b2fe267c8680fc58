#include "ManagerFixture.h"

#include "core/Settings.h"

using namespace glimra;
using namespace glimra::test;

namespace {

// Stands in for the capture tool: records its arguments, then behaves as told.
class CaptureTest : public ManagerFixture {
protected:
    void useTool(const QString& behaviour)
    {
        const QString sample = home.path() + u"/sample.png"_s;
        ASSERT_TRUE(makeTestImage(200, 100).save(sample));
        const QString tool = home.path() + u"/fake-capture"_s;
        QFile script(tool);
        ASSERT_TRUE(script.open(QIODevice::WriteOnly));
        script.write(QStringLiteral("#!/bin/sh\nfor a in \"$@\"; do echo \"$a\"; done >> %1/args\n"
                                    "for last in \"$@\"; do :; done\n%2\n")
                         .arg(home.path(), QString(behaviour).replace(u"%1"_s, sample))
                         .toUtf8());
        script.close();
        script.setPermissions(script.permissions() | QFileDevice::ExeOwner);
        openSettings()->setValue(settings::kCaptureTool, tool);
    }
    QStringList recordedArguments() const
    {
        QFile f(home.path() + u"/args"_s);
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    struct Outcome {
        ScreenshotItemPtr item;
        QString status;
        bool finished = false;
    };
    Outcome capture(ScreenshotManager::CaptureMode mode)
    {
        Outcome outcome;
        const quint64 ticket = manager.startCapture(mode);
        auto c = QObject::connect(&manager, &ScreenshotManager::captureFinished,
                                  [&](quint64 t, const ScreenshotItemPtr& item, const QString& s) {
                                      if (t != ticket)
                                          return;
                                      outcome = {item, s, true};
                                  });
        waitUntil([&] { return outcome.finished; }, std::chrono::seconds(10));
        QObject::disconnect(c);
        return outcome;
    }
};

const QString kWrites = u"cp %1 \"$last\""_s;

} // namespace

TEST_F(CaptureTest, eachModePassesItsArgumentsAndAddsATypedItemOnTop)
{
    useTool(kWrites);
    int beforeCaptureCalls = 0;
    manager.onBeforeCapture = [&] { ++beforeCaptureCalls; };

    const Outcome area = capture(ScreenshotManager::CaptureMode::Area);
    ASSERT_TRUE(area.item);
    const QString path = *area.item->filePath;
    EXPECT_EQ(recordedArguments(), (QStringList{u"-x"_s, u"-s"_s, path}));
    EXPECT_TRUE(path.startsWith(home.libraryDir() + u"/Glimra_"_s));
    EXPECT_EQ(area.item->captureType, std::optional<QString>(u"selection"_s));
    EXPECT_EQ(area.item->syncStatus, SyncStatus::Local);
    EXPECT_EQ(manager.screenshots().constFirst(), area.item);
    EXPECT_EQ(manager.statusMessage(), u"Copied to clipboard"_s);
    EXPECT_EQ(clipboard.count, 1u);

    // Format and save folder decide the path; no format option reaches the tool.
    manager.setAutoCopyEnabled(false);
    manager.setSaveFormat(u"jpeg"_s);
    QTemporaryDir elsewhere;
    manager.setCustomSaveLocation(elsewhere.path());
    const Outcome window = capture(ScreenshotManager::CaptureMode::Window);
    ASSERT_TRUE(window.item);
    EXPECT_TRUE(window.item->filePath->startsWith(elsewhere.path() + u"/Glimra_"_s));
    EXPECT_TRUE(window.item->filePath->endsWith(QLatin1String(".jpeg")));
    EXPECT_EQ(window.item->captureType, std::optional<QString>(u"window"_s));
    EXPECT_TRUE(manager.statusMessage().isEmpty());
    const Outcome full = capture(ScreenshotManager::CaptureMode::FullScreen);
    ASSERT_TRUE(full.item);
    EXPECT_EQ(full.item->captureType, std::optional<QString>(u"fullscreen"_s));
    EXPECT_EQ(recordedArguments().mid(3), (QStringList{u"-x"_s, u"-w"_s, *window.item->filePath,
                                                       u"-x"_s, *full.item->filePath}));
    EXPECT_EQ(beforeCaptureCalls, 3);
    EXPECT_EQ(manager.screenshots().size(), 3);
    EXPECT_EQ(clipboard.count, 1u);
}

TEST_F(CaptureTest, capturesInTheSameSecondNeverShareAFile)
{
    useTool(u"sleep 0.3; "_s + kWrites);
    manager.setAutoCopyEnabled(false);
    QList<ScreenshotItemPtr> items;
    QObject::connect(
        &manager, &ScreenshotManager::captureFinished,
        [&](quint64, const ScreenshotItemPtr& item, const QString&) { items.append(item); });
    manager.captureFullScreen();
    manager.captureFullScreen();
    ASSERT_TRUE(waitUntil([&] { return items.size() == 2; }, std::chrono::seconds(10)));
    ASSERT_TRUE(items[0] && items[1]);
    EXPECT_NE(*items[0]->filePath, *items[1]->filePath);
    EXPECT_TRUE(QFileInfo::exists(*items[0]->filePath));
    EXPECT_TRUE(QFileInfo::exists(*items[1]->filePath));
}

TEST_F(CaptureTest, failuresAddNothingAndSayWhatHappened)
{
    useTool(u"exit 1"_s);
    Outcome area = capture(ScreenshotManager::CaptureMode::Area);
    EXPECT_FALSE(area.item);
    EXPECT_EQ(manager.statusMessage(), u"Capture cancelled"_s);
    EXPECT_EQ(area.status, u"Capture cancelled"_s);
    capture(ScreenshotManager::CaptureMode::Window);
    EXPECT_EQ(manager.statusMessage(), u"Capture cancelled"_s);
    capture(ScreenshotManager::CaptureMode::FullScreen);
    EXPECT_EQ(manager.statusMessage(), u"Capture failed"_s);

    // Exit status 0 without a file is no success either.
    useTool(u"exit 0"_s);
    capture(ScreenshotManager::CaptureMode::FullScreen);
    EXPECT_EQ(manager.statusMessage(), u"Capture failed"_s);

    // A file that is not a picture: no item, and the line keeps the progress text.
    useTool(u"echo junk > \"$last\""_s);
    const Outcome junk = capture(ScreenshotManager::CaptureMode::Area);
    EXPECT_FALSE(junk.item);
    EXPECT_EQ(manager.statusMessage(), u"Select area to capture..."_s);

    openSettings()->setValue(settings::kCaptureTool, QString(home.path() + u"/missing-tool"_s));
    capture(ScreenshotManager::CaptureMode::FullScreen);
    EXPECT_TRUE(manager.statusMessage().startsWith(QLatin1String("Capture failed: ")));
    EXPECT_GT(manager.statusMessage().size(), u"Capture failed: "_s.size());
    EXPECT_TRUE(manager.screenshots().isEmpty());
}
