#include "ManagerFixture.h"

#include "platform/Settings.h"

using namespace glimra;
using namespace glimra::test;

namespace {

// Stands in for the capture tool: records its arguments, then behaves as told.
class CaptureTest : public ManagerFixture {
protected:
    void useTool(const QString& behaviour)
    {
        const QString sample = home.path() + QStringLiteral("/sample.png");
        ASSERT_TRUE(makeTestImage(200, 100).save(sample));
        const QString tool = home.path() + QStringLiteral("/fake-capture");
        QFile script(tool);
        ASSERT_TRUE(script.open(QIODevice::WriteOnly));
        script.write(QStringLiteral("#!/bin/sh\nfor a in \"$@\"; do echo \"$a\"; done >> %1/args\n"
                                    "for last in \"$@\"; do :; done\n%2\n")
                         .arg(home.path(), QString(behaviour).replace(QStringLiteral("%1"), sample))
                         .toUtf8());
        script.close();
        script.setPermissions(script.permissions() | QFileDevice::ExeOwner);
        openSettings()->setValue(QStringLiteral("captureTool"), tool);
    }
    QStringList recordedArguments() const
    {
        QFile f(home.path() + QStringLiteral("/args"));
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

const QString kWrites = QStringLiteral("cp %1 \"$last\"");

} // namespace

TEST_F(CaptureTest, eachModePassesItsArgumentsAndAddsATypedItemOnTop)
{
    useTool(kWrites);
    int beforeCaptureCalls = 0;
    manager.onBeforeCapture = [&] { ++beforeCaptureCalls; };

    const Outcome area = capture(ScreenshotManager::CaptureMode::Area);
    ASSERT_TRUE(area.item);
    const QString path = *area.item->filePath;
    EXPECT_EQ(recordedArguments(), (QStringList{QStringLiteral("-x"), QStringLiteral("-s"), path}));
    EXPECT_TRUE(path.startsWith(home.libraryDir() + QStringLiteral("/Glimra_")));
    EXPECT_EQ(area.item->captureType, std::optional<QString>(QStringLiteral("selection")));
    EXPECT_EQ(area.item->syncStatus, SyncStatus::Local);
    EXPECT_EQ(manager.screenshots().constFirst(), area.item);
    EXPECT_EQ(manager.statusMessage(), QStringLiteral("Copied to clipboard"));
    EXPECT_EQ(clipboard.count, 1u);

    manager.setAutoCopyEnabled(false);
    const Outcome window = capture(ScreenshotManager::CaptureMode::Window);
    ASSERT_TRUE(window.item);
    EXPECT_EQ(window.item->captureType, std::optional<QString>(QStringLiteral("window")));
    EXPECT_TRUE(manager.statusMessage().isEmpty());
    const Outcome full = capture(ScreenshotManager::CaptureMode::FullScreen);
    ASSERT_TRUE(full.item);
    EXPECT_EQ(full.item->captureType, std::optional<QString>(QStringLiteral("fullscreen")));
    EXPECT_EQ(recordedArguments().mid(3),
              (QStringList{QStringLiteral("-x"), QStringLiteral("-w"), *window.item->filePath,
                           QStringLiteral("-x"), *full.item->filePath}));
    EXPECT_EQ(beforeCaptureCalls, 3);
    EXPECT_EQ(manager.screenshots().size(), 3);
    EXPECT_EQ(clipboard.count, 1u);
}

TEST_F(CaptureTest, capturesInTheSameSecondNeverShareAFile)
{
    useTool(QStringLiteral("sleep 0.3; ") + kWrites);
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

TEST_F(CaptureTest, formatAndSaveFolderDecideThePath)
{
    useTool(kWrites);
    manager.setSaveFormat(QStringLiteral("jpeg"));
    QTemporaryDir elsewhere;
    manager.setCustomSaveLocation(elsewhere.path());
    const Outcome outcome = capture(ScreenshotManager::CaptureMode::FullScreen);
    ASSERT_TRUE(outcome.item);
    EXPECT_TRUE(outcome.item->filePath->startsWith(elsewhere.path() + QStringLiteral("/Glimra_")));
    EXPECT_TRUE(outcome.item->filePath->endsWith(QLatin1String(".jpeg")));
}

TEST_F(CaptureTest, failuresAddNothingAndSayWhatHappened)
{
    useTool(QStringLiteral("exit 1"));
    Outcome area = capture(ScreenshotManager::CaptureMode::Area);
    EXPECT_FALSE(area.item);
    EXPECT_EQ(manager.statusMessage(), QStringLiteral("Capture cancelled"));
    EXPECT_EQ(area.status, QStringLiteral("Capture cancelled"));
    capture(ScreenshotManager::CaptureMode::Window);
    EXPECT_EQ(manager.statusMessage(), QStringLiteral("Capture cancelled"));
    capture(ScreenshotManager::CaptureMode::FullScreen);
    EXPECT_EQ(manager.statusMessage(), QStringLiteral("Capture failed"));

    // Exit status 0 without a file is no success either.
    useTool(QStringLiteral("exit 0"));
    capture(ScreenshotManager::CaptureMode::FullScreen);
    EXPECT_EQ(manager.statusMessage(), QStringLiteral("Capture failed"));

    // A file that is not a picture: no item, and the line keeps the progress text.
    useTool(QStringLiteral("echo junk > \"$last\""));
    const Outcome junk = capture(ScreenshotManager::CaptureMode::Area);
    EXPECT_FALSE(junk.item);
    EXPECT_EQ(manager.statusMessage(), QStringLiteral("Select area to capture..."));

    openSettings()->setValue(QStringLiteral("captureTool"),
                             QString(home.path() + QStringLiteral("/missing-tool")));
    capture(ScreenshotManager::CaptureMode::FullScreen);
    EXPECT_TRUE(manager.statusMessage().startsWith(QLatin1String("Capture failed: ")));
    EXPECT_GT(manager.statusMessage().size(), QStringLiteral("Capture failed: ").size());
    EXPECT_TRUE(manager.screenshots().isEmpty());
}
