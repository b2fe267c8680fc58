// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "library/LibraryListing.h"

#include <QHash>
#include <QImage>
#include <QObject>
#include <QSet>
#include <QThreadPool>

#include <chrono>

namespace glimra {

class DirectoryWatcher;
struct DesktopImport;

// Moves the screenshots the desktop's own tool saves ("Screenshot …" in its folder) into the
// library as they appear, each once it is a whole picture. What was there before the watch
// began stays where it is, and so does anything that is not a regular file.
class DesktopScreenshotImporter final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DesktopScreenshotImporter)
public:
    // A file that could not be taken is looked at again after 0.5 s, then after twice as
    // long each time, this many times, besides whenever the file changes.
    static constexpr int kRetries = 5;
    static constexpr std::chrono::milliseconds kFirstRetry{500};

    explicit DesktopScreenshotImporter(QObject* parent = nullptr);
    ~DesktopScreenshotImporter() override;

    // False when the desktop's folder cannot be watched.
    bool start();
    void stop();

    // While a capture runs nothing new is taken: a desktop's screenshot portal may save the
    // capture's picture in this very folder, and the capture tool takes it from there itself.
    // Calls nest; what arrived meanwhile is looked at when the last capture ends.
    void pause();
    void resume();

Q_SIGNALS:
    // The file now at path in the library; its preview is not made yet.
    void imported(const QString& path);
    void importFailed(const QString& status);

private:
    struct Retry {
        int attempts = 0;
        FileStamp stamp; // how the file looked when it last failed
    };

    void checkForNewScreenshots();
    void importScreenshot(const QString& name, const QString& sourcePath);
    void finish(const QString& name, const DesktopImport& result);
    void retry(const QString& name, quint64 generation);

    // Moves and decodes of a burst run side by side: each is a rename or a copy of its own
    // file into a name nobody else can take, so their order does not matter.
    QThreadPool m_pool;
    DirectoryWatcher* m_watcher;
    QString m_folder;
    // Present at start, imported, or being imported now: never taken (again).
    QSet<QString> m_knownFiles;
    QHash<QString, Retry> m_retries;
    // Raised by every start and stop, so a retry timer from an earlier watch does nothing.
    quint64 m_generation = 0;
    int m_pauses = 0;
    bool m_checkSkipped = false; // something came up while paused: look on resume
};

} // namespace glimra
