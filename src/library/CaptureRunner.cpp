#include "library/CaptureRunner.h"

#include "core/BackgroundJob.h"
#include "core/Settings.h"
#include "library/LibraryPaths.h"
#include "library/ThumbnailCache.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QProcess>

namespace glimra {

namespace {

QString captureTool()
{
    const QString configured = openSettings()->value(settings::kCaptureTool).toString();
    if (!configured.isEmpty())
        return configured;
    return QCoreApplication::applicationDirPath() + QStringLiteral("/glimra-capture");
}

// A full-screen capture that ends without a file failed; an interactive one was cancelled.
QString failureText(CaptureMode mode)
{
    return mode == CaptureMode::FullScreen ? QStringLiteral("Capture failed")
                                           : QStringLiteral("Capture cancelled");
}

} // namespace

QString CaptureRunner::progressText(CaptureMode mode)
{
    switch (mode) {
    case CaptureMode::Area:
        return QStringLiteral("Select area to capture...");
    case CaptureMode::Window:
        return QStringLiteral("Click a window to capture...");
    case CaptureMode::FullScreen:
        break;
    }
    return QStringLiteral("Capturing full screen...");
}

void CaptureRunner::start(CaptureMode mode, const QString& folder, const QString& extension,
                          Done done)
{
    const QString path = uniqueFilePath(folder, timestampedStem(QDateTime::currentDateTime()),
                                        extension, m_reservedPaths);
    m_reservedPaths.insert(path);

    auto* process = new QProcess(this);
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    auto fail = [this, path, done](const QString& failure) {
        m_reservedPaths.remove(path);
        done({path, std::nullopt, failure});
    };
    connect(process, &QProcess::errorOccurred, this, [process, fail](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        fail(QStringLiteral("Capture failed: ") + process->errorString());
        process->deleteLater();
    });
    connect(process, &QProcess::finished, this,
            [this, process, fail, mode, path, done](int exitCode, QProcess::ExitStatus status) {
                process->deleteLater();
                if (status != QProcess::NormalExit || exitCode != 0 || !QFileInfo::exists(path)) {
                    fail(failureText(mode));
                    return;
                }
                // Our tool leaves the preview in the thumbnail cache beside the file; another
                // tool's file is decoded once here, and cached.
                runInBackground(
                    QThreadPool::globalInstance(), this, [path] { return loadPreview(path, true); },
                    [this, path, done](const PreviewLoad& load) {
                        m_reservedPaths.remove(path);
                        std::optional<QImage> preview;
                        if (load.outcome == PreviewLoad::Loaded)
                            preview = load.preview;
                        done({path, preview, std::nullopt});
                    });
            });
    process->start(captureTool(), captureToolArguments(mode, path));
}

} // namespace glimra
