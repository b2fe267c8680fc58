// Runs the real glimra-capture against the shared X server and window manager. Pointer and
// keys come from xdotool, whose XTest input goes through the same grabs a user's would.

#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QWidget>
#include <QWindow>

#include <gtest/gtest.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <chrono>
#include <memory>

using namespace std::chrono_literals;
using glimra::test::waitUntil;

namespace {

const QString kTool = QStringLiteral(GLIMRA_CAPTURE_BINARY);

struct ToolResult {
    int exitCode = -1;
    QByteArray stderrText;
};

// A window with fixed, detailed content, so comparisons mean something and nothing on it
// blinks between two grabs.
class PatternWindow final : public QWidget {
public:
    PatternWindow()
    {
        setWindowTitle(QStringLiteral("capture-test-pattern"));
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        for (int y = 0; y < height(); y += 10) {
            for (int x = 0; x < width(); x += 10)
                p.fillRect(x, y, 10, 10, QColor::fromHsv((x + 3 * y) % 360, 200, 80 + y % 170));
        }
        p.setPen(Qt::white);
        p.drawText(rect(), Qt::AlignCenter, QStringLiteral("glimra capture test"));
    }
};

// Compares pixels only: ImageMagick tags its files with an sRGB colour space and ours carry
// none, which QImage::operator== would count as a difference.
::testing::AssertionResult samePixels(const QImage& a, const QImage& b)
{
    if (a.size() != b.size())
        return ::testing::AssertionFailure() << "sizes differ";
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    int differing = 0;
    for (int row = 0; row < x.height(); ++row) {
        const auto* p = reinterpret_cast<const QRgb*>(x.constScanLine(row));
        const auto* q = reinterpret_cast<const QRgb*>(y.constScanLine(row));
        for (int col = 0; col < x.width(); ++col)
            differing += (p[col] & 0xffffff) != (q[col] & 0xffffff);
    }
    if (differing)
        return ::testing::AssertionFailure() << differing << " pixels differ";
    return ::testing::AssertionSuccess();
}

class CaptureTool : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_connection = xcb_connect(nullptr, nullptr);
        ASSERT_FALSE(xcb_connection_has_error(m_connection));
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
    }
    void TearDown() override
    {
        if (m_process && m_process->state() != QProcess::NotRunning) {
            m_process->kill();
            m_process->waitForFinished(3000);
        }
        xcb_disconnect(m_connection);
    }

    QString path(const QString& name) const { return m_dir.filePath(name); }

    ToolResult runToEnd(const QStringList& args,
                        const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment())
    {
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(kTool, args);
        ToolResult run;
        if (!process.waitForFinished(20000))
            return run;
        run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
        run.stderrText = process.readAllStandardError();
        return run;
    }

    // Starts an interactive capture and returns once the tool holds the keyboard: the moment
    // a user's keys and clicks reach its overlay.
    ::testing::AssertionResult startInteractive(const QStringList& args)
    {
        m_process = std::make_unique<QProcess>();
        m_process->start(kTool, args);
        if (!m_process->waitForStarted(5000))
            return ::testing::AssertionFailure() << "tool did not start";
        const bool grabbed = waitUntil([this] { return keyboardIsGrabbedElsewhere(); }, 10s);
        if (!grabbed)
            return ::testing::AssertionFailure() << "tool never grabbed the keyboard: "
                                                 << m_process->readAllStandardError().toStdString();
        return ::testing::AssertionSuccess();
    }

    ToolResult finishInteractive()
    {
        ToolResult run;
        if (!waitUntil([this] { return m_process->state() == QProcess::NotRunning; }, 10s))
            return run;
        run.exitCode = m_process->exitStatus() == QProcess::NormalExit ? m_process->exitCode() : -2;
        run.stderrText = m_process->readAllStandardError();
        return run;
    }

    bool keyboardIsGrabbedElsewhere()
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

    static void xdotool(const QStringList& args)
    {
        QProcess::execute(QStringLiteral("xdotool"), args);
    }

    // The screen as ImageMagick sees it: an independent reader of the same root window.
    QImage referenceScreen()
    {
        const QString file = path(QStringLiteral("reference.png"));
        QProcess::execute(QStringLiteral("import"),
                          {QStringLiteral("-window"), QStringLiteral("root"), file});
        QImage image(file);
        QFile::remove(file);
        return image.convertToFormat(QImage::Format_RGB32);
    }

    // Shows the pattern window at a known place and waits until the window manager has framed
    // it and it is drawn.
    std::unique_ptr<PatternWindow> showPattern(const QRect& geometry)
    {
        auto window = std::make_unique<PatternWindow>();
        window->setGeometry(geometry);
        window->show();
        waitUntil([&] { return window->windowHandle() && window->windowHandle()->isExposed(); });
        waitUntil([&] { return !frameExtents(window->winId()).isEmpty(); }, 3s);
        glimra::test::processEvents(300ms);
        return window;
    }

    // _NET_FRAME_EXTENTS as xprop reads it: left, right, top, bottom.
    static QList<int> frameExtents(WId window)
    {
        QProcess xprop;
        xprop.start(QStringLiteral("xprop"), {QStringLiteral("-id"), QString::number(window),
                                              QStringLiteral("_NET_FRAME_EXTENTS")});
        xprop.waitForFinished(3000);
        const QString out = QString::fromLatin1(xprop.readAllStandardOutput());
        const qsizetype eq = out.indexOf(QLatin1Char('='));
        QList<int> values;
        if (eq < 0)
            return values;
        for (const QString& part : out.mid(eq + 1).split(QLatin1Char(',')))
            values.append(part.trimmed().toInt());
        return values.size() == 4 ? values : QList<int>();
    }

    QStringList filesHere() const
    {
        return QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System);
    }

    QTemporaryDir m_dir;
    xcb_connection_t* m_connection = nullptr;
    xcb_window_t m_root = 0;
    std::unique_ptr<QProcess> m_process;
};

} // namespace

TEST_F(CaptureTool, FullScreenMatchesTheScreenPixelForPixel)
{
    const auto window = showPattern(QRect(150, 120, 640, 400));
    const ToolResult run = runToEnd({QStringLiteral("-x"), path(QStringLiteral("full.png"))});
    ASSERT_EQ(run.exitCode, 0) << run.stderrText.toStdString();
    QFile file(path(QStringLiteral("full.png")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.read(8).startsWith("\x89PNG"));

    const QImage captured =
        QImage(path(QStringLiteral("full.png"))).convertToFormat(QImage::Format_RGB32);
    const QImage reference = referenceScreen();
    ASSERT_FALSE(reference.isNull());
    EXPECT_EQ(captured.size(), reference.size());
    EXPECT_TRUE(samePixels(captured, reference));
    EXPECT_EQ(filesHere(), QStringList{QStringLiteral("full.png")});
}

TEST_F(CaptureTool, JpegPathsHoldJpegData)
{
    for (const QString& name : {QStringLiteral("shot.jpeg"), QStringLiteral("shot.JPG")}) {
        const ToolResult run = runToEnd({QStringLiteral("-x"), path(name)});
        ASSERT_EQ(run.exitCode, 0) << run.stderrText.toStdString();
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_TRUE(file.read(3).startsWith("\xff\xd8\xff")) << name.toStdString();
    }
}

TEST_F(CaptureTool, AreaDragCapturesThatRegion)
{
    const auto window = showPattern(QRect(50, 50, 700, 500));
    const QImage reference = referenceScreen();
    ASSERT_TRUE(startInteractive(
        {QStringLiteral("-x"), QStringLiteral("-s"), path(QStringLiteral("area.png"))}));
    xdotool({QStringLiteral("mousemove"), QStringLiteral("100"), QStringLiteral("100"),
             QStringLiteral("mousedown"), QStringLiteral("1"), QStringLiteral("mousemove"),
             QStringLiteral("250"), QStringLiteral("200"), QStringLiteral("mousemove"),
             QStringLiteral("400"), QStringLiteral("300"), QStringLiteral("mouseup"),
             QStringLiteral("1")});
    const ToolResult run = finishInteractive();
    ASSERT_EQ(run.exitCode, 0) << run.stderrText.toStdString();
    const QImage area =
        QImage(path(QStringLiteral("area.png"))).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(area.size(), QSize(300, 200));
    // The frozen screen was captured, not the overlay drawn over it.
    EXPECT_TRUE(samePixels(area, reference.copy(100, 100, 300, 200)));
}

TEST_F(CaptureTool, AreaClickWithoutDragKeepsWaitingUntilEscape)
{
    ASSERT_TRUE(startInteractive({QStringLiteral("-s"), path(QStringLiteral("click.png"))}));
    xdotool({QStringLiteral("mousemove"), QStringLiteral("300"), QStringLiteral("300"),
             QStringLiteral("click"), QStringLiteral("1")});
    glimra::test::processEvents(500ms);
    EXPECT_EQ(m_process->state(), QProcess::Running);
    EXPECT_TRUE(filesHere().isEmpty());

    xdotool({QStringLiteral("key"), QStringLiteral("Escape")});
    const ToolResult run = finishInteractive();
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(run.exitCode, -1) << "still running after Escape";
    EXPECT_TRUE(filesHere().isEmpty());
}

TEST_F(CaptureTool, RightClickCancelsBothInteractiveModes)
{
    for (const QString& mode : {QStringLiteral("-s"), QStringLiteral("-w")}) {
        ASSERT_TRUE(startInteractive({mode, path(QStringLiteral("right.png"))}));
        xdotool({QStringLiteral("mousemove"), QStringLiteral("500"), QStringLiteral("400"),
                 QStringLiteral("click"), QStringLiteral("3")});
        const ToolResult run = finishInteractive();
        EXPECT_GT(run.exitCode, 0) << mode.toStdString();
        EXPECT_TRUE(filesHere().isEmpty()) << mode.toStdString();
    }
}

TEST_F(CaptureTool, WindowClickCapturesTheWholeFrame)
{
    const QRect client(300, 200, 520, 360);
    const auto window = showPattern(client);
    const QList<int> extents = frameExtents(window->winId());
    ASSERT_EQ(extents.size(), 4) << "the window manager set no frame extents";
    const QImage reference = referenceScreen();

    ASSERT_TRUE(startInteractive(
        {QStringLiteral("-x"), QStringLiteral("-w"), path(QStringLiteral("window.png"))}));
    const QPoint inside = window->geometry().center();
    xdotool({QStringLiteral("mousemove"), QString::number(inside.x()), QString::number(inside.y()),
             QStringLiteral("click"), QStringLiteral("1")});
    const ToolResult run = finishInteractive();
    ASSERT_EQ(run.exitCode, 0) << run.stderrText.toStdString();

    const QImage shot =
        QImage(path(QStringLiteral("window.png"))).convertToFormat(QImage::Format_RGB32);
    const QRect frame =
        window->geometry().adjusted(-extents[0], -extents[2], extents[1], extents[3]);
    ASSERT_EQ(shot.size(), frame.size());
    EXPECT_TRUE(samePixels(shot, reference.copy(frame)));
}

TEST_F(CaptureTool, EscapeCancelsWindowSelection)
{
    ASSERT_TRUE(startInteractive({QStringLiteral("-w"), path(QStringLiteral("esc.png"))}));
    xdotool({QStringLiteral("key"), QStringLiteral("Escape")});
    const ToolResult run = finishInteractive();
    EXPECT_GT(run.exitCode, 0);
    EXPECT_TRUE(filesHere().isEmpty());
}

TEST_F(CaptureTool, UnusablePathsFailAtOnceWithOneLine)
{
    QString locked = QStringLiteral("/proc/self/shot.png");
    if (::geteuid() != 0) {
        QDir(m_dir.path()).mkdir(QStringLiteral("locked"));
        QFile::setPermissions(path(QStringLiteral("locked")), QFile::ReadOwner | QFile::ExeOwner);
        locked = path(QStringLiteral("locked/shot.png"));
    }
    const QString missing = path(QStringLiteral("missing/shot.png"));
    // The interactive modes must refuse before any overlay appears: they finish unaided.
    for (const QString& mode : {QString(), QStringLiteral("-s"), QStringLiteral("-w")}) {
        for (const QString& target : {missing, locked}) {
            QStringList args;
            if (!mode.isEmpty())
                args << mode;
            args << target;
            const ToolResult run = runToEnd(args);
            EXPECT_GT(run.exitCode, 0) << args.join(QLatin1Char(' ')).toStdString();
            EXPECT_EQ(run.stderrText.count('\n'), 1) << run.stderrText.toStdString();
            EXPECT_FALSE(QFile::exists(target));
        }
    }
}

TEST_F(CaptureTool, NoDisplayOrBadArgumentsWriteNothing)
{
    QProcessEnvironment noDisplay = QProcessEnvironment::systemEnvironment();
    noDisplay.remove(QStringLiteral("DISPLAY"));
    noDisplay.remove(QStringLiteral("WAYLAND_DISPLAY"));
    for (const QString& mode : {QStringLiteral("-x"), QStringLiteral("-s")}) {
        const ToolResult run = runToEnd({mode, path(QStringLiteral("nodisplay.png"))}, noDisplay);
        EXPECT_GT(run.exitCode, 0) << mode.toStdString();
        EXPECT_EQ(run.stderrText.count('\n'), 1) << run.stderrText.toStdString();
    }
    const ToolResult both =
        runToEnd({QStringLiteral("-s"), QStringLiteral("-w"), path(QStringLiteral("both.png"))});
    EXPECT_GT(both.exitCode, 0);
    EXPECT_TRUE(filesHere().isEmpty());
}
