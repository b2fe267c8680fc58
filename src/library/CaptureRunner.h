// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/CaptureMode.h"

#include <QImage>
#include <QObject>
#include <QSet>
#include <QString>

#include <functional>
#include <optional>

namespace glimra {

// The status line's text when the user cancelled a capture.
inline constexpr QLatin1StringView kCaptureCancelled{"Capture cancelled"};

// Runs the capture tool, glimra-capture beside this program or the "captureTool" setting,
// for each capture, and reads back what it wrote. Captures may overlap: each writes a fresh
// name, held until its tool has finished, so two in the same second never share a file.
class CaptureRunner final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CaptureRunner)
public:
    struct Outcome {
        QString path;
        // The picture's preview; nothing when the tool wrote something that is no picture.
        std::optional<QImage> preview;
        // Why nothing was written, for the status line.
        std::optional<QString> failure;
    };
    using Done = std::function<void(const Outcome&)>;

    using QObject::QObject;

    // What the status line shows while a capture of this mode runs.
    static QString progressText(CaptureMode mode);

    // Writes "<timestamp>.<extension>" into folder; done runs once, on this thread.
    void start(CaptureMode mode, const QString& folder, const QString& extension, Done done);

private:
    QSet<QString> m_reservedPaths;
};

} // namespace glimra
