// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor/EditorLauncher.h"

#include "core/BackgroundJob.h"
#include "editor/EditorCanvas.h"
#include "editor/EditorWindow.h"
#include "library/LibraryPaths.h"
#include "library/ScreenshotManager.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageReader>
#include <QScreen>
#include <QTimer>

#include <cstdio>
#include <ctime>

namespace glimra::editor {

namespace {

// For the editor's benchmark, which times `glimra edit` to the first frame on screen: each
// window's first painted frame is noted on standard error, on the clock the benchmark reads
// as it starts the command.
void noteFirstFrame(EditorWindow* window)
{
    if (!qEnvironmentVariableIsSet("GLIMRA_BENCH_FIRST_FRAME"))
        return;
    QObject::connect(
        window->canvas(), &EditorCanvas::framePainted, window,
        [] {
            timespec now{};
            clock_gettime(CLOCK_MONOTONIC, &now);
            std::fprintf(stderr, "glimra-bench first-frame %lld\n",
                         static_cast<long long>(now.tv_sec) * 1'000'000'000 + now.tv_nsec);
        },
        Qt::SingleShotConnection);
}

} // namespace

EditorLauncher::EditorLauncher(ScreenshotManager* screenshots, Clipboard* clipboard,
                               QObject* parent)
    : QObject(parent), m_screenshots(screenshots), m_clipboard(clipboard)
{}

void EditorLauncher::open(const QString& path, Done done)
{
    runInBackground(
        QThreadPool::globalInstance(), this,
        [path]() -> std::pair<QImage, QString> {
            QImageReader reader(path);
            reader.setAutoTransform(true);
            QImage picture = reader.read();
            if (picture.isNull())
                return {QImage(),
                        QStringLiteral("Cannot open %1: %2\n").arg(path, reader.errorString())};
            return {picture.convertToFormat(QImage::Format_RGB32), QString()};
        },
        [this, path, done](const std::pair<QImage, QString>& result) {
            if (result.first.isNull()) {
                if (done)
                    done(nullptr, result.second);
                return;
            }
            show(path, result.first, done);
        });
}

void EditorLauncher::show(const QString& path, const QImage& picture, const Done& done)
{
    EditorWindow::Options options;
    options.sourcePath = path;
    options.saveFolder = libraryFolder();
    options.saveFormat = m_screenshots->saveFormat();
    // A picture of a HiDPI screen was taken at that screen's ratio.
    const QScreen* screen = QGuiApplication::primaryScreen();
    options.scale = screen ? screen->devicePixelRatio() : 1;
    options.inLibrary = QFileInfo(path).absoluteDir() == QDir(libraryFolder());
    if (m_text && m_text->isEnabled() && m_text->unavailableReason().isEmpty()) {
        options.textReader = TextManager::readerProgram();
        options.textLanguage = m_text->language();
    }
    auto* window = new EditorWindow(picture, options, m_clipboard);
    QPointer<ScreenshotManager> screenshots(m_screenshots);
    connect(window, &EditorWindow::replaced, this,
            [screenshots](const QString& replacedPath, const QImage& preview) {
                if (!screenshots)
                    return;
                const QFileInfo replaced(replacedPath);
                for (const ScreenshotItemPtr& item : screenshots->screenshots()) {
                    if (item->filePath && QFileInfo(*item->filePath) == replaced)
                        return screenshots->fileReplaced(item, preview);
                }
            });
    connect(window, &EditorWindow::saved, this,
            [screenshots, path](const QString& savedPath, const QImage& preview) {
                if (!screenshots)
                    return;
                const ScreenshotItemPtr original = [&] {
                    for (const ScreenshotItemPtr& item : screenshots->screenshots()) {
                        if (item->filePath == path)
                            return item;
                    }
                    return ScreenshotItemPtr();
                }();
                screenshots->addNewScreenshot(std::make_shared<ScreenshotItem>(
                    preview, QDateTime::currentDateTime(), SyncStatus::Local, std::nullopt,
                    savedPath,
                    original ? original->captureType
                             : std::optional<QString>(QStringLiteral("fullscreen"))));
            });
    noteFirstFrame(window);
    window->show();
    // Once the window has its size.
    QTimer::singleShot(0, window, &EditorWindow::zoomToFit);
    Q_EMIT windowShown(window);
    if (done)
        done(window, {});
}

} // namespace glimra::editor
