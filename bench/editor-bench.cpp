// SPDX-License-Identifier: GPL-3.0-or-later
// The editor's figures on a 4K screenshot: the frame time while a mark is dragged, and the
// time to render and encode a save, beside the capture tool's own encode of the same picture
// and Qt's PNG writer. Prints "name value" lines. Also writes the picture to the path given,
// for timing its opening by `glimra edit`.
// Usage: glimra-bench-editor RUNS PICTURE
#include "core/PngEncoder.h"
#include "editor/EditedFile.h"
#include "editor/EditorCanvas.h"
#include "editor/EditorWindow.h"
#include "editor/MarkRenderer.h"

#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QImageWriter>
#include <QMouseEvent>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <sys/resource.h>

using namespace glimra::editor;

namespace {

// Windows, text and a photo-like corner, as a desktop looks.
QImage screenLike(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(0xf4f4f4);
    QPainter p(&image);
    QRandomGenerator random(7);
    for (int i = 0; i < 40; ++i) {
        const QRect r(random.bounded(size.width() - 600), random.bounded(size.height() - 400),
                      300 + random.bounded(900), 200 + random.bounded(700));
        p.fillRect(r, QColor::fromRgb(random.generate() | 0xff000000).lighter(150));
        p.setPen(Qt::black);
        for (int y = r.top() + 20; y < r.bottom(); y += 22)
            p.drawText(r.left() + 10, y, QStringLiteral("The quick brown fox jumps over 0123"));
    }
    for (int y = 0; y < 500; ++y)
        for (int x = 0; x < 700; ++x)
            image.setPixel(x, y, random.generate());
    return image;
}

// User and system time of every thread of this process so far.
double processorMs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double percentile95(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, v.size() * 95 / 100)];
}

void print(const char* name, double value)
{
    std::printf("%s %.1f\n", name, value);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 3)
        return 2;
    const int runs = std::max(1, atoi(argv[1]));
    const QImage picture = screenLike(QSize(3840, 2160));
    QTemporaryDir folder;
    // The picture the opening is timed on, by `glimra edit`.
    const QString path = QString::fromLocal8Bit(argv[2]);
    if (!QImageWriter(path, "png").write(picture))
        return 1;

    // Dragging a mark at 1:1, each frame painted at once as the screen would show it.
    EditorWindow::Options options;
    options.sourcePath = path;
    options.saveFolder = folder.path();
    options.saveFormat = QStringLiteral("png");
    auto* window = new EditorWindow(picture, options, nullptr);
    window->resize(1600, 1000);
    window->show();
    EditorCanvas* canvas = window->canvas();
    canvas->setZoom(1);
    bool shown = false;
    QObject::connect(canvas, &EditorCanvas::framePainted, [&] { shown = true; });
    while (!shown)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    int painted = 0;
    QObject::connect(canvas, &EditorCanvas::framePainted, [&] { ++painted; });
    MarkDocument document;
    for (int i = 0; i < 10; ++i) {
        Mark mark;
        mark.kind = i % 2 ? MarkKind::Arrow : MarkKind::Rectangle;
        mark.points = {QPointF(100 + i * 300, 100 + i * 150),
                       QPointF(400 + i * 300, 300 + i * 150)};
        document.marks.append(mark);
    }
    canvas->history().apply(document);
    canvas->setZoom(1); // renders the marks once
    const auto send = [canvas](QEvent::Type type, QPointF at, Qt::MouseButtons held) {
        QMouseEvent event(type, at, canvas->mapToGlobal(at), Qt::LeftButton, held, Qt::NoModifier);
        QApplication::sendEvent(canvas, &event);
    };
    send(QEvent::MouseButtonPress, {250, 200}, Qt::LeftButton);
    std::vector<double> frames;
    for (int i = 1; i <= 120; ++i) {
        QElapsedTimer clock;
        clock.start();
        send(QEvent::MouseMove, QPointF(250 + i * 3, 200 + i * 2), Qt::LeftButton);
        canvas->repaint();
        frames.push_back(clock.nsecsElapsed() / 1e6);
    }
    send(QEvent::MouseButtonRelease, {610, 440}, Qt::NoButton);
    if (painted < 120)
        return 1; // frames that were never drawn would time nothing
    print("drag_frame_median_ms", median(frames));
    print("drag_frame_p95_ms", percentile95(frames));

    // Saving: render and encode as Save does, against the capture tool's encode alone and
    // Qt's PNG writer, on the same picture. The processor time of all threads is noted too:
    // on a machine shared with other work it varies less than the time on the clock.
    std::vector<double> save, capture, qt, saveCpu, captureCpu;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer clock;
        clock.start();
        double cpu = processorMs();
        const QByteArray bytes =
            encodePicture(renderMarks(picture, canvas->document(), 1), QStringLiteral("png"));
        save.push_back(clock.nsecsElapsed() / 1e6);
        saveCpu.push_back(processorMs() - cpu);
        clock.restart();
        cpu = processorMs();
        const glimra::capture::PixelView view{picture.constBits(), picture.width(),
                                              picture.height(), picture.bytesPerLine()};
        const std::string encoded = glimra::capture::encodePng(view);
        capture.push_back(clock.nsecsElapsed() / 1e6);
        captureCpu.push_back(processorMs() - cpu);
        clock.restart();
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        QImageWriter(&buffer, "png").write(picture);
        qt.push_back(clock.nsecsElapsed() / 1e6);
        if (bytes.isEmpty() || encoded.empty())
            return 1;
    }
    print("save_render_and_encode_ms", median(save));
    print("capture_encode_ms", median(capture));
    print("save_processor_ms", median(saveCpu));
    print("capture_processor_ms", median(captureCpu));
    print("qt_png_writer_ms", median(qt));
    window->canvas()->history().markSaved(window->canvas()->document());
    delete window;
    return 0;
}
