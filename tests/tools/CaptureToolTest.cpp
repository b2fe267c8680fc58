// SPDX-License-Identifier: GPL-3.0-or-later
// Runs the real glimra-capture against the shared X server and window manager. Pointer and
// keys come from xdotool, whose XTest input goes through the same grabs a user's would.

#include "TestSupport.h"
#include "X11Screen.h"

#include <QProcess>
#include <QWidget>

#include <xcb/xcb.h>

#include <memory>
#include <unistd.h>

using namespace glimra::capture;

namespace {

// ImageMagick's PPM carries no colour space, like our files, so QImage::operator== compares
// pixels alone.
bool samePixels(const QImage& a, const QImage& b)
{
    return !a.isNull() &&
           a.convertToFormat(QImage::Format_RGB32) == b.convertToFormat(QImage::Format_RGB32);
}

// Taking the keyboard fails with "already grabbed" exactly while another client holds it.
bool keyboardTaken(xcb_connection_t* x)
{
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(x)).data->root;
    const auto cookie =
        xcb_grab_keyboard(x, 0, root, XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
    const std::unique_ptr<xcb_grab_keyboard_reply_t, decltype(&free)> reply(
        xcb_grab_keyboard_reply(x, cookie, nullptr), &free);
    xcb_ungrab_keyboard(x, XCB_CURRENT_TIME); // a no-op unless our own grab succeeded
    xcb_flush(x);
    return reply && reply->status == XCB_GRAB_STATUS_ALREADY_GRABBED;
}

class CaptureTool : public ::testing::Test {
protected:
    QString path(const char* name) const { return m_dir.filePath(QLatin1String(name)); }

    // Runs the tool to its end and returns its exit status (-1: crashed or never finished).
    // Input is played with xdotool once the tool holds the keyboard, the moment a user's keys
    // and clicks reach its overlay. setting is one NAME=value for its environment.
    int capture(const QString& args, const QString& input = {}, const QString& setting = {})
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (!setting.isEmpty())
            env.insert(setting.section(u'=', 0, 0), setting.section(u'=', 1));
        m_process.setProcessEnvironment(env);
        m_process.start(QStringLiteral(GLIMRA_CAPTURE_BINARY), args.split(u' '));
        if (!input.isEmpty() && waitUntil([this] { return keyboardTaken(m_x.get()); }, 10s))
            QProcess::execute(u"xdotool"_s, input.split(u' '));
        if (!waitUntil([this] { return m_process.state() == QProcess::NotRunning; }, 15s))
            m_process.kill(); // so that the next run can start; reported as a crash
        m_process.waitForFinished(3000);
        m_stderr = m_process.readAllStandardError();
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    }

    // The screen as ImageMagick reads it: an independent reader of the same root window.
    static QImage referenceScreen()
    {
        QProcess import;
        import.start(u"import"_s, {u"-window"_s, u"root"_s, u"ppm:-"_s});
        import.waitForFinished(10000);
        return QImage::fromData(import.readAllStandardOutput(), "PPM");
    }

    QTemporaryDir m_dir;
    std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)> m_x{xcb_connect(nullptr, nullptr),
                                                                     &xcb_disconnect};
    QProcess m_process;
    QByteArray m_stderr;
};

} // namespace

TEST_F(CaptureTool, CapturesMatchWhatIsOnScreen)
{
    // Fine diagonal stripes: a capture off by one pixel either way differs from the screen.
    QWidget window;
    window.setStyleSheet(u"background: qlineargradient(spread:reflect, x1:0, y1:0, x2:0.02, "
                         u"y2:0.03, stop:0 #103050, stop:1 #f0c080)"_s);
    window.setGeometry(50, 60, 700, 500);
    window.show();
    // Qt reads the frame extents the window manager publishes; the tool reads them on its own.
    ASSERT_TRUE(waitUntil([&] { return window.frameGeometry() != window.geometry(); }, 10s))
        << "the window manager drew no frame";
    glimra::test::processEvents(300ms);

    // Through shared memory, and the plain way a remote display or a container gets.
    for (const QString& transport : {QString(), u"QT_X11_NO_MITSHM=1"_s}) {
        ASSERT_EQ(capture(u"-x "_s + path("full.png"), {}, transport), 0) << m_stderr.data();
        EXPECT_TRUE(samePixels(QImage(path("full.png"), "PNG"), referenceScreen()))
            << transport.toStdString();
    }
    ASSERT_EQ(capture(path("shot.jpeg")), 0) << m_stderr.data();
    QFile jpeg(path("shot.jpeg"));
    EXPECT_TRUE(jpeg.open(QIODevice::ReadOnly) && jpeg.read(3) == "\xff\xd8\xff");
    // Written beside the target and renamed: no temporary file is left over.
    EXPECT_EQ(glimra::test::entriesOf(m_dir.path()), (QStringList{u"full.png"_s, u"shot.jpeg"_s}));

    // At a pixel ratio of 2 an odd device position lies between two logical pixels; the
    // selection must still start on it. The overlay's dimming and outline stay out.
    for (const int scale : {1, 2}) {
        const int at = 99 + scale;
        const QImage reference = referenceScreen();
        const QString drag = QString::asprintf(
            "mousemove %d %d mousedown 1 mousemove 250 200 mousemove %d %d mouseup 1", at, at,
            at + 300, at + 200);
        ASSERT_EQ(capture(u"-s "_s + path("area.png"), drag, u"QT_SCALE_FACTOR=%1"_s.arg(scale)), 0)
            << m_stderr.data();
        const QImage area(path("area.png"));
        EXPECT_EQ(area.size(), QSize(300, 200)) << "scale " << scale;
        EXPECT_TRUE(samePixels(area, reference.copy(at, at, 300, 200))) << "scale " << scale;
    }

    const QImage reference = referenceScreen();
    const QPoint c = window.geometry().center();
    const QString click = QString::asprintf("mousemove %d %d click 1", c.x(), c.y());
    ASSERT_EQ(capture(u"-w "_s + path("window.png"), click), 0) << m_stderr.data();
    const QImage shot(path("window.png"));
    EXPECT_EQ(shot.size(), window.frameGeometry().size());
    EXPECT_TRUE(samePixels(shot, reference.copy(window.frameGeometry())));
}

TEST_F(CaptureTool, SharedMemoryIsUsedAndLeavesNoSegmentBehind)
{
    // Our own segments, as the kernel lists them (creator's pid in the fifth column).
    const auto ownSegments = [] {
        QFile list(u"/proc/sysvipc/shm"_s);
        int count = 0;
        if (list.open(QIODevice::ReadOnly))
            for (const QByteArray& line : list.readAll().split('\n'))
                count += line.simplified().split(' ').value(4) == QByteArray::number(getpid());
        return count;
    };
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(m_x.get())).data->root;
    // What either transport delivers is compared with the screen in the capture test above;
    // here, that the shared one is taken and given back.
    {
        std::string error;
        const PixelBuffer banded =
            grabRoot(m_x.get(), root, &error, Transport::Any, Delivery::InBands);
        ASSERT_TRUE(banded.shared) << error;
        EXPECT_TRUE(banded.waitForRows(banded.view.height));
    }
    // The server lets go of it when it reads our detach.
    EXPECT_TRUE(waitUntil([&] { return ownSegments() == 0; }, 5s));
}

TEST_F(CaptureTool, EscapeOrRightClickCancelsWithoutAFile)
{
    // A click without a drag is no selection: the overlay stays, and Escape then cancels.
    const std::pair<QString, QString> cancels[] = {
        {u"-s "_s, u"mousemove 300 300 click 1 key Escape"_s},
        {u"-w "_s, u"key Escape"_s},
        {u"-s "_s, u"mousemove 500 400 click 3"_s}};
    for (const auto& [mode, input] : cancels)
        EXPECT_EQ(capture(mode + path("a.png"), input), 1) << input.toStdString();
    EXPECT_TRUE(glimra::test::entriesOf(m_dir.path()).isEmpty());
}

TEST_F(CaptureTool, FailuresExitWithTwoAndOneLineSayingWhy)
{
    // A folder no one may write into, root included (a missing one is the unit test's); no X
    // display; arguments that make no sense. No overlay may appear first: the interactive modes
    // also end without any input.
    const std::tuple<QString, QString, QString> failures[] = {
        {u"/proc/self/shot.png"_s, {}, u"cannot save into /proc/self"_s},
        {path("x.png"), u"DISPLAY="_s, u"cannot open the X display"_s},
        {u"-s -w "_s + path("x.png"), {}, u"usage: glimra-capture"_s},
        {u"-q "_s + path("x.png"), {}, u"usage: glimra-capture"_s},
    };
    for (const QString& mode : {u"-x "_s, u"-s "_s, u"-w "_s}) {
        for (const auto& [args, setting, says] : failures) {
            EXPECT_EQ(capture(mode + args, {}, setting), 2) << args.toStdString();
            EXPECT_EQ(m_stderr.count('\n'), 1) << m_stderr.data();
            EXPECT_TRUE(m_stderr.startsWith("glimra-capture: ") &&
                        QString::fromLocal8Bit(m_stderr).contains(says))
                << m_stderr.data();
        }
    }
    EXPECT_TRUE(glimra::test::entriesOf(m_dir.path()).isEmpty());
}
