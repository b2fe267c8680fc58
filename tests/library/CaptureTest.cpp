// SPDX-License-Identifier: GPL-3.0-or-later
#include "ManagerFixture.h"

#include "core/Settings.h"

using Mode = ScreenshotManager::CaptureMode;

namespace {

// Stands in for the capture tool: records its last arguments, then does what it is told, with
// $last as the path it was given and %1 a sample picture.
class CaptureTest : public ManagerFixture {
protected:
    void useTool(const QString& behaviour)
    {
        const QString sample = home.path() + u"/sample.png"_s;
        ASSERT_TRUE(makeTestImage(200, 100).save(sample));
        const QString tool = home.path() + u"/fake-capture"_s;
        ASSERT_TRUE(
            writeScript(tool, u"echo \"$*\" > %1/args\nfor last in \"$@\"; do :; done\n%2\n"_s
                                  .arg(home.path(), QString(behaviour).replace(u"%1"_s, sample))
                                  .toUtf8()));
        openSettings()->setValue(settings::kCaptureTool, tool);
    }

    struct Outcome {
        ScreenshotItemPtr item;
        QString status;
        bool finished = false;
    };
    Outcome capture(Mode mode)
    {
        Outcome outcome;
        const quint64 ticket = manager.startCapture(mode);
        auto c = QObject::connect(&manager, &ScreenshotManager::captureFinished,
                                  [&](quint64 t, const ScreenshotItemPtr& item, const QString& s) {
                                      if (t == ticket)
                                          outcome = {item, s, true};
                                  });
        waitUntil([&] { return outcome.finished; }, std::chrono::seconds(10));
        QObject::disconnect(c);
        return outcome;
    }
};

const QString kWrites = u"cp %1 \"$last\""_s;

} // namespace

TEST_F(CaptureTest, eachModePassesItsFlagAndAddsATypedItemOnTopInAFileOfItsOwn)
{
    useTool(kWrites);
    int beforeCaptureCalls = 0;
    manager.onBeforeCapture = [&] { ++beforeCaptureCalls; };
    QTemporaryDir elsewhere;
    // The format and the save folder decide the path; no format option reaches the tool.
    // Mode, format, whether a folder of the user's is set, the tool's flags, the item's type.
    const std::tuple<Mode, QString, bool, QString, QString> captures[] = {
        {Mode::Area, u"png"_s, false, u"-x -s"_s, u"selection"_s},
        {Mode::Window, u"jpeg"_s, true, u"-x -w"_s, u"window"_s},
        {Mode::FullScreen, u"png"_s, false, u"-x"_s, u"fullscreen"_s}};
    for (const auto& [mode, format, custom, flags, type] : captures) {
        manager.setSaveFormat(format);
        manager.setCustomSaveLocation(custom ? std::optional(elsewhere.path()) : std::nullopt);
        const Outcome outcome = capture(mode);
        ASSERT_TRUE(outcome.item) << type.toStdString();
        const QString path = *outcome.item->filePath;
        EXPECT_EQ(QString::fromUtf8(readFile(home.path() + u"/args"_s)).trimmed(),
                  flags + u' ' + path);
        EXPECT_TRUE(
            path.startsWith((custom ? elsewhere.path() : home.libraryDir()) + u"/Glimra_"_s));
        EXPECT_TRUE(path.endsWith(u'.' + format)) << path.toStdString();
        EXPECT_EQ(outcome.item->captureType, type);
        EXPECT_EQ(manager.screenshots().constFirst(), outcome.item);
        EXPECT_EQ(manager.statusMessage(), u"Copied to clipboard"_s);
    }
    EXPECT_EQ(beforeCaptureCalls, 3);
    EXPECT_EQ(clipboard.count, 3u);
    manager.setAutoCopyEnabled(false);
    capture(Mode::FullScreen);
    EXPECT_EQ(clipboard.count, 3u);
    EXPECT_TRUE(manager.statusMessage().isEmpty());

    // Captures in the same second never share a file.
    useTool(u"sleep 0.3; "_s + kWrites);
    QList<ScreenshotItemPtr> items;
    QObject::connect(
        &manager, &ScreenshotManager::captureFinished,
        [&](quint64, const ScreenshotItemPtr& item, const QString&) { items.append(item); });
    manager.captureFullScreen();
    manager.captureFullScreen();
    ASSERT_TRUE(waitUntil([&] { return items.size() == 2; }, std::chrono::seconds(10)));
    ASSERT_TRUE(items[0] && items[1]);
    EXPECT_NE(*items[0]->filePath, *items[1]->filePath);
    EXPECT_TRUE(QFileInfo::exists(*items[0]->filePath) && QFileInfo::exists(*items[1]->filePath));
}

TEST_F(CaptureTest, failuresAddNothingAndSayWhatHappened)
{
    const Mode all[] = {Mode::FullScreen, Mode::Area, Mode::Window};
    const QString missing = home.path() + u"/missing-tool"_s;
    // Each stand-in in every mode, unless a row names one. A tool's last line is its reason (a
    // cancel, and the tool's name in front of its line, are the command-line test's cases);
    // what a tool that gives no reason did is said instead. A file that is no picture leaves
    // the progress text. A stand-in's script or "missing"; the only mode it runs in; the status.
    const std::tuple<QString, std::optional<Mode>, QString> failures[] = {
        {u"echo chatter >&2; echo 'last words' >&2; exit 2"_s, {}, u"Capture failed: last words"_s},
        {u"exit 3"_s, {}, u"Capture failed: the capture tool ended with status 3"_s},
        {u"kill -9 $$"_s, {}, u"Capture failed: the capture tool crashed"_s},
        {u"exit 0"_s, Mode::FullScreen, u"Capture failed: the capture tool saved no file"_s},
        {u"exit 0"_s, Mode::Area, u"Capture cancelled"_s},
        {u"echo junk > \"$last\""_s, Mode::Area, u"Select area to capture..."_s},
        {u"missing"_s, {}, u"Capture failed: "_s},
    };
    for (const auto& [behaviour, only, status] : failures) {
        if (behaviour == u"missing")
            openSettings()->setValue(settings::kCaptureTool, missing);
        else
            useTool(behaviour);
        for (const Mode mode : all) {
            if (only && *only != mode)
                continue;
            const Outcome outcome = capture(mode);
            const QString trace = behaviour + u" / "_s + captureTypeText(mode);
            EXPECT_TRUE(outcome.finished && !outcome.item) << trace.toStdString();
            EXPECT_TRUE(manager.statusMessage().startsWith(status))
                << trace.toStdString() << ": " << manager.statusMessage().toStdString();
            EXPECT_EQ(outcome.status, manager.statusMessage());
            if (status.endsWith(u": ")) {
                EXPECT_GT(manager.statusMessage().size(), status.size());
            }
        }
    }
    EXPECT_TRUE(manager.screenshots().isEmpty());
}

TEST_F(CaptureTest, aDelayedCaptureCountsDownAndACancelOrANewRequestStopsIt)
{
    useTool(kWrites);
    QList<std::pair<quint64, QString>> finished;
    QObject::connect(&manager, &ScreenshotManager::captureFinished,
                     [&](quint64 t, const ScreenshotItemPtr&, const QString& s) {
                         finished.append({t, s});
                     });
    const quint64 delayed = manager.startCapture(Mode::FullScreen, 2);
    EXPECT_EQ(manager.statusMessage(), u"Capturing in 2..."_s);
    ASSERT_TRUE(waitUntil([&] { return !finished.isEmpty(); }, std::chrono::seconds(10)));
    EXPECT_EQ(finished.takeFirst(), std::pair(delayed, QString()));

    // Cancelled by the user, then replaced by a new request: neither takes a picture.
    const quint64 cancelled = manager.startCapture(Mode::Area, 5);
    EXPECT_EQ(manager.captureCountdown(), 5);
    EXPECT_TRUE(manager.cancelDelayedCapture());
    EXPECT_FALSE(manager.cancelDelayedCapture());
    const quint64 replaced = manager.startCapture(Mode::Area, 5);
    manager.startCapture(Mode::Window, 5);
    EXPECT_EQ(finished, (QList<std::pair<quint64, QString>>{{cancelled, u"Capture cancelled"_s},
                                                            {replaced, u"Capture cancelled"_s}}));
    manager.cancelDelayedCapture();
    EXPECT_EQ(manager.captureCountdown(), 0);
    EXPECT_EQ(manager.screenshots().size(), 1);
}
