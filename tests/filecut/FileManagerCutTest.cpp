#include "filecut/FinderCutManager.h"
#include "platform/ActiveWindowClass.h"
#include "platform/x11/X11KeyGrabber.h"

#include "TestSupport.h"
#include "XClient.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace glimra;
using namespace glimra::test;
using namespace Qt::StringLiterals;

namespace {

// A real PCManFM in a throw-away home, one window per folder.
class FileManager {
public:
    explicit FileManager(const QString& home)
    {
        m_env = QProcessEnvironment::systemEnvironment();
        m_env.insert(u"HOME"_s, home);
        // Its single-instance socket lives in the cache folder, so this is a new instance.
        for (const char* var : {"XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME"})
            m_env.insert(QString::fromLatin1(var), home + u"/"_s + QString::fromLatin1(var));
        m_process.setProcessEnvironment(m_env);
    }
    ~FileManager()
    {
        m_process.kill();
        m_process.waitForFinished();
    }
    // Opens the folder in a window of its own and activates it; the window id, or empty.
    QString open(const QString& folder)
    {
        const QStringList args{u"--new-win"_s, folder};
        if (m_process.state() == QProcess::NotRunning) {
            m_process.start(u"pcmanfm"_s, args);
        } else {
            QProcess second;
            second.setProcessEnvironment(m_env);
            second.start(u"pcmanfm"_s, args);
            waitUntil([&] { return second.state() == QProcess::NotRunning; });
        }
        const QString title = u"^"_s + QFileInfo(folder).fileName() + u"$"_s;
        const QString window = QString::fromLatin1(runTool(u"xdotool"_s, {u"search"_s, u"--sync"_s,
                                                                          u"--name"_s, title}))
                                   .split(u'\n', Qt::SkipEmptyParts)
                                   .value(0);
        activate(window);
        return window;
    }
    static void activate(const QString& window)
    {
        runTool(u"xdotool"_s, {u"windowactivate"_s, u"--sync"_s, window});
        processEvents(std::chrono::milliseconds(300));
    }

private:
    QProcessEnvironment m_env;
    QProcess m_process;
};

void key(const char* combination)
{
    runTool(u"xdotool"_s, {u"key"_s, QString::fromLatin1(combination)});
}

TEST(FileManagerCut, superXThenSuperVMovesAFileAndOtherWindowsGetTheirKeys)
{
    QTemporaryDir root;
    const QString a = root.filePath(u"A"_s), b = root.filePath(u"B"_s);
    ASSERT_TRUE(QDir().mkpath(a) && QDir().mkpath(b) && QDir().mkpath(root.filePath(u"home"_s)));
    ASSERT_TRUE(writeFile(a + u"/moveme.txt"_s, "glimra"));

    X11KeyGrabber grabber;
    FinderCutManager manager(grabber, activeWindowClass);
    manager.install();
    FileManager pcmanfm(root.filePath(u"home"_s));

    // Cut in A, paste in B.
    const QString windowA = pcmanfm.open(a);
    ASSERT_FALSE(windowA.isEmpty());
    key("ctrl+a");
    key("super+x");
    ASSERT_TRUE(waitUntil([&] { return manager.cutPending(); }));
    const QString windowB = pcmanfm.open(b);
    key("super+v");
    EXPECT_TRUE(waitUntil([&] { return QFile::exists(b + u"/moveme.txt"_s); }));
    EXPECT_FALSE(QFile::exists(a + u"/moveme.txt"_s));
    EXPECT_FALSE(manager.cutPending());

    // Super+X anywhere else reaches that window as it was typed.
    XClient probe;
    probe.open({100, 100, 300, 200}, {}, "glimra-probe");
    const uint8_t x = probe.keycodeFor(0x78);
    key("super+x");
    ASSERT_TRUE(waitUntil([&] {
        const auto keys = probe.keys();
        return std::any_of(keys.begin(), keys.end(), [&](const XClient::Key& k) {
            return k.press && k.keycode == x && (k.state & 0xff) == 0x40;
        });
    }));
    EXPECT_FALSE(manager.cutPending());

    // Something copied after the cut: the paste is an ordinary one and the file stays.
    FileManager::activate(windowB);
    key("ctrl+a");
    key("super+x");
    ASSERT_TRUE(waitUntil([&] { return manager.cutPending(); }));
    const quint64 before = manager.clipboardChangeCount();
    probe.takeClipboard();
    ASSERT_TRUE(waitUntil([&] { return manager.clipboardChangeCount() > before; }));
    FileManager::activate(windowA);
    key("super+v");
    processEvents(std::chrono::milliseconds(1500));
    EXPECT_TRUE(QFile::exists(b + u"/moveme.txt"_s));
    EXPECT_FALSE(QFile::exists(a + u"/moveme.txt"_s));
    EXPECT_FALSE(manager.cutPending());
}

} // namespace
