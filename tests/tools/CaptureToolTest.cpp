// Runs the real glimra-capture against the shared X server and window manager. Pointer and
// keys come from xdotool, whose XTest input goes through the same grabs a user's would.

#include "TestSupport.h"

#include <QColorSpace>
#include <QDir>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QWidget>
#include <QWindow>

#include <gtest/gtest.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <memory>

using namespace std::chrono_literals;
using glimra::test::waitUntil;

namespace {

QStringList words(const QString& text)
{
    return text.split(QLatin1Char(' '));
}

void xdotool(const QString& commands)
{
    QProcess::execute(QStringLiteral("xdotool"), words(commands));
}

// Fixed, detailed content, so comparisons mean something and nothing blinks between grabs.
class PatternWindow final : public QWidget {
protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        for (int y = 0; y < height(); y += 10) {
            for (int x = 0; x < width(); x += 10)
                p.fillRect(x, y, 10, 10, QColor::fromHsv((x + 3 * y) % 360, 200, 80 + y % 170));
        }
    }
};

// Pixels only: ImageMagick tags its files with an sRGB colour space and ours carry none,
// which QImage::operator== would count as a difference.
bool samePixels(QImage a, QImage b)
{
    a = a.convertToFormat(QImage::Format_RGB32);
    b = b.convertToFormat(QImage::Format_RGB32);
    a.setColorSpace(QColorSpace::SRgb);
    b.setColorSpace(QColorSpace::SRgb);
    return !a.isNull() && a == b;
}

class CaptureTool : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_connection = xcb_connect(nullptr, nullptr);
        ASSERT_FALSE(xcb_connection_has_error(m_connection));
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
    }
    void TearDown() override
    {
        m_process.kill();
        m_process.waitForFinished(3000);
        xcb_disconnect(m_connection);
    }

    QString path(const QString& name) const { return m_dir.filePath(name); }
    QStringList files() const { return QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden); }

    // Starts the tool; an interactive one is ready once it holds the keyboard, the moment a
    // user's keys and clicks reach its overlay.
    ::testing::AssertionResult start(const QString& args, bool interactive = true)
    {
        m_process.start(QStringLiteral(GLIMRA_CAPTURE_BINARY), words(args));
        if (!m_process.waitForStarted(5000))
            return ::testing::AssertionFailure() << "tool did not start";
        if (interactive && !waitUntil([this] { return keyboardTaken(); }, 10s))
            return ::testing::AssertionFailure() << "no keyboard grab; stderr: "
                                                 << m_process.readAllStandardError().toStdString();
        return ::testing::AssertionSuccess();
    }

    // The exit status, -1 if the tool is still running after a while.
    int finish()
    {
        if (!waitUntil([this] { return m_process.state() == QProcess::NotRunning; }, 15s))
            return -1;
        m_stderr = m_process.readAllStandardError();
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -2;
    }

    int run(const QString& args,
            const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment())
    {
        m_process.setProcessEnvironment(env);
        return start(args, false) ? finish() : -1;
    }

    bool keyboardTaken()
    {
        auto* reply =
            xcb_grab_keyboard_reply(m_connection,
                                    xcb_grab_keyboard(m_connection, 0, m_root, XCB_CURRENT_TIME,
                                                      XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC),
                                    nullptr);
        const bool taken = reply && reply->status == XCB_GRAB_STATUS_ALREADY_GRABBED;
        if (reply && reply->status == XCB_GRAB_STATUS_SUCCESS)
            xcb_ungrab_keyboard(m_connection, XCB_CURRENT_TIME);
        xcb_flush(m_connection);
        free(reply);
        return taken;
    }

    // The screen as ImageMagick reads it: an independent reader of the same root window.
    QImage referenceScreen()
    {
        QProcess::execute(QStringLiteral("import"),
                          words(QStringLiteral("-window root")) +
                              QStringList{path(QStringLiteral("ref.png"))});
        const QImage image(path(QStringLiteral("ref.png")));
        QFile::remove(path(QStringLiteral("ref.png")));
        return image;
    }

    // Shows the pattern where asked, once the window manager has framed and it has drawn it.
    std::unique_ptr<PatternWindow> showPattern(const QRect& geometry)
    {
        auto window = std::make_unique<PatternWindow>();
        window->setGeometry(geometry);
        window->show();
        waitUntil([&] { return window->windowHandle()->isExposed(); });
        waitUntil([&] { return frameExtents(window->winId()).size() == 4; }, 3s);
        glimra::test::processEvents(300ms);
        return window;
    }

    // _NET_FRAME_EXTENTS as xprop reads it: left, right, top, bottom.
    static QList<int> frameExtents(WId window)
    {
        QProcess xprop;
        xprop.start(QStringLiteral("xprop"),
                    words(QStringLiteral("-id %1 _NET_FRAME_EXTENTS").arg(window)));
        xprop.waitForFinished(3000);
        const QString out = QString::fromLatin1(xprop.readAllStandardOutput());
        QList<int> values;
        if (out.contains(QLatin1Char('=')))
            for (const QString& part : out.section(QLatin1Char('='), 1).split(QLatin1Char(',')))
                values.append(part.trimmed().toInt());
        return values;
    }

    QTemporaryDir m_dir;
    xcb_connection_t* m_connection = nullptr;
    xcb_window_t m_root = 0;
    QProcess m_process;
    QByteArray m_stderr;
};

} // namespace

TEST_F(CaptureTool, FullScreenMatchesTheScreenAndExtensionPicksTheEncoding)
{
    const auto window = showPattern(QRect(150, 120, 640, 400));
    ASSERT_EQ(run(QStringLiteral("-x ") + path(QStringLiteral("full.png"))), 0) << m_stderr.data();
    EXPECT_TRUE(samePixels(QImage(path(QStringLiteral("full.png")), "PNG"), referenceScreen()));

    for (const QString& name : {QStringLiteral("shot.jpeg"), QStringLiteral("shot.JPG")}) {
        ASSERT_EQ(run(path(name)), 0) << m_stderr.data();
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_TRUE(file.read(3).startsWith("\xff\xd8\xff")) << name.toStdString();
    }
    // Written beside the target and renamed: no temporary file is left over.
    EXPECT_EQ(files().size(), 3) << files().join(QLatin1Char(' ')).toStdString();
}

TEST_F(CaptureTool, AreaDragCapturesThatRegionOfTheFrozenScreen)
{
    const auto window = showPattern(QRect(50, 50, 700, 500));
    const QImage reference = referenceScreen();
    // At a pixel ratio of 2 an odd device position lies between two logical pixels; the
    // selection must still start on it.
    for (const char* scale : {"1", "2"}) {
        const int at = scale[0] == '1' ? 100 : 101;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_SCALE_FACTOR"), QLatin1String(scale));
        m_process.setProcessEnvironment(env);
        ASSERT_TRUE(start(QStringLiteral("-x -s ") + path(QStringLiteral("area.png"))));
        xdotool(QStringLiteral("mousemove %1 %1 mousedown 1 mousemove 250 200 mousemove %2 %3 "
                               "mouseup 1")
                    .arg(at)
                    .arg(at + 300)
                    .arg(at + 200));
        ASSERT_EQ(finish(), 0) << m_stderr.data();
        const QImage area(path(QStringLiteral("area.png")));
        EXPECT_EQ(area.size(), QSize(300, 200)) << "scale " << scale;
        // The overlay's dimming and outline are not in the picture.
        EXPECT_TRUE(samePixels(area, reference.copy(at, at, 300, 200))) << "scale " << scale;
    }
}

TEST_F(CaptureTool, WindowClickCapturesTheWholeFrame)
{
    const auto window = showPattern(QRect(300, 200, 520, 360));
    const QList<int> extents = frameExtents(window->winId());
    ASSERT_EQ(extents.size(), 4) << "the window manager set no frame extents";
    const QImage reference = referenceScreen();

    ASSERT_TRUE(start(QStringLiteral("-x -w ") + path(QStringLiteral("window.png"))));
    const QPoint inside = window->geometry().center();
    xdotool(QStringLiteral("mousemove %1 %2 click 1").arg(inside.x()).arg(inside.y()));
    ASSERT_EQ(finish(), 0) << m_stderr.data();

    const QRect frame =
        window->geometry().adjusted(-extents[0], -extents[2], extents[1], extents[3]);
    const QImage shot(path(QStringLiteral("window.png")));
    EXPECT_EQ(shot.size(), frame.size());
    EXPECT_TRUE(samePixels(shot, reference.copy(frame)));
}

TEST_F(CaptureTool, CancellingLeavesNoFile)
{
    // A click without a drag is not a selection: the overlay stays until Escape.
    ASSERT_TRUE(start(QStringLiteral("-s ") + path(QStringLiteral("a.png"))));
    xdotool(QStringLiteral("mousemove 300 300 click 1"));
    glimra::test::processEvents(500ms);
    EXPECT_EQ(m_process.state(), QProcess::Running);
    xdotool(QStringLiteral("key Escape"));
    EXPECT_EQ(finish(), 1);

    const QString cancels[] = {QStringLiteral("-w|key Escape"),
                               QStringLiteral("-s|mousemove 500 400 click 3"),
                               QStringLiteral("-w|mousemove 500 400 click 3")};
    for (const QString& c : cancels) {
        ASSERT_TRUE(start(c.section(QLatin1Char('|'), 0, 0) + QLatin1Char(' ') +
                          path(QStringLiteral("a.png"))));
        xdotool(c.section(QLatin1Char('|'), 1));
        EXPECT_EQ(finish(), 1) << c.toStdString();
    }
    EXPECT_TRUE(files().isEmpty());
}

TEST_F(CaptureTool, UnusableDestinationsFailAtOnceWithOneLine)
{
    // Root may write anywhere, except into a process's folder under /proc.
    QString locked = QStringLiteral("/proc/self/shot.png");
    if (::geteuid() != 0) {
        QDir(m_dir.path()).mkdir(QStringLiteral("locked"));
        QFile::setPermissions(path(QStringLiteral("locked")), QFile::ReadOwner | QFile::ExeOwner);
        locked = path(QStringLiteral("locked/shot.png"));
    }
    // No overlay may appear first: the interactive modes also end without any input.
    for (const QString& mode : {QStringLiteral("-x"), QStringLiteral("-s")}) {
        for (const QString& target : {path(QStringLiteral("missing/shot.png")), locked}) {
            EXPECT_EQ(run(mode + QLatin1Char(' ') + target), 1) << target.toStdString();
            EXPECT_EQ(m_stderr.count('\n'), 1) << m_stderr.data();
        }
    }
    QProcessEnvironment noDisplay = QProcessEnvironment::systemEnvironment();
    noDisplay.remove(QStringLiteral("DISPLAY"));
    for (const QString& mode : {QStringLiteral("-x"), QStringLiteral("-s")}) {
        EXPECT_EQ(run(mode + QLatin1Char(' ') + path(QStringLiteral("x.png")), noDisplay), 1);
        EXPECT_EQ(m_stderr.count('\n'), 1) << m_stderr.data();
    }
    EXPECT_EQ(run(QStringLiteral("-s -w ") + path(QStringLiteral("x.png"))), 2);
    EXPECT_TRUE(files().isEmpty());
}
