// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/CaptureRunner.h"

#include "core/BackgroundJob.h"
#include "core/CompanionPath.h"
#include "core/Settings.h"
#include "library/LibraryPaths.h"
#include "library/ThumbnailCache.h"

#include <QDateTime>
#include <QFileInfo>
#include <QProcess>

#include <cstdio>
#include <memory>

namespace glimra {

namespace {

QString captureTool()
{
    const QString configured = openSettings()->value(settings::kCaptureTool).toString();
    if (!configured.isEmpty())
        return configured;
    return QString::fromStdString(companionPath("glimra-capture", GLIMRA_BIN_FROM_HELPERS));
}

// The tool says why it failed in one line on standard error; only the end of a chattier
// tool's output is kept.
constexpr qsizetype kKeptErrorOutput = 4096;
constexpr qsizetype kLongestReason = 300;
constexpr int kExitCancelled = 1;

// The tool's last line on standard error, without the "program: " command-line tools put in
// front of their messages.
QString reasonFrom(const QByteArray& errorOutput, const QString& program)
{
    const QByteArray trimmed = errorOutput.trimmed();
    QString line = QString::fromLocal8Bit(trimmed.mid(trimmed.lastIndexOf('\n') + 1)).trimmed();
    const QString prefix = QFileInfo(program).fileName() + QStringLiteral(": ");
    if (line.startsWith(prefix))
        line.remove(0, prefix.size());
    if (line.size() > kLongestReason)
        line = line.left(kLongestReason - 3) + QStringLiteral("...");
    return line;
}

// What the status line says when the tool ended without leaving a picture. The tool exits 1
// when the user cancels and otherwise says why it failed; tools that exit 0 without a file
// (as macOS's does when a selection is abandoned) count as a cancel in the interactive modes.
QString failureText(CaptureMode mode, bool crashed, int exitCode, const QString& reason)
{
    if (!crashed && exitCode == kExitCancelled)
        return kCaptureCancelled;
    if (!crashed && exitCode == 0 && mode != CaptureMode::FullScreen)
        return kCaptureCancelled;
    QString why = reason;
    if (why.isEmpty())
        why = crashed ? QStringLiteral("the capture tool crashed")
              : exitCode == 0
                  ? QStringLiteral("the capture tool saved no file")
                  : QStringLiteral("the capture tool ended with status %1").arg(exitCode);
    return QStringLiteral("Capture failed: ") + why;
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

    const QString program = captureTool();
    auto* process = new QProcess(this);
    process->setStandardOutputFile(QProcess::nullDevice());
    auto errorOutput = std::make_shared<QByteArray>();
    connect(process, &QProcess::readyReadStandardError, this, [process, errorOutput] {
        const QByteArray chunk = process->readAllStandardError();
        // Passed on, so the reason also lands in the app's own log.
        std::fwrite(chunk.constData(), 1, static_cast<std::size_t>(chunk.size()), stderr);
        errorOutput->append(chunk);
        if (errorOutput->size() > kKeptErrorOutput)
            errorOutput->remove(0, errorOutput->size() - kKeptErrorOutput);
    });
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
            [this, process, fail, mode, path, done, program,
             errorOutput](int exitCode, QProcess::ExitStatus status) {
                process->deleteLater();
                const bool crashed = status != QProcess::NormalExit;
                if (crashed || exitCode != 0 || !QFileInfo::exists(path)) {
                    errorOutput->append(process->readAllStandardError());
                    fail(failureText(mode, crashed, exitCode, reasonFrom(*errorOutput, program)));
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
    process->start(program, captureToolArguments(mode, path));
}

} // namespace glimra
