#pragma once

#include "library/LibraryListing.h"

#include <QHash>
#include <QImage>
#include <QObject>
#include <QSet>

class QThreadPool;

namespace glimra {

class DirectoryWatcher;

// Moves the screenshots the desktop's own tool saves ("Screenshot …" in its folder) into the
// library as they appear, each once it is a whole picture. What was there before the watch
// began stays where it is.
class DesktopScreenshotImporter final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DesktopScreenshotImporter)
public:
    // Copies and decodes run on io, in the order they were asked for.
    DesktopScreenshotImporter(QThreadPool* io, QObject* parent = nullptr);
    ~DesktopScreenshotImporter() override;

    // False when the desktop's folder cannot be watched.
    bool start();
    void stop();

Q_SIGNALS:
    // The file now at path in the library, and its preview.
    void imported(const QString& path, const QImage& preview);
    void importFailed(const QString& status);

private:
    void checkForNewScreenshots();
    void importScreenshot(const QString& sourcePath);

    QThreadPool* m_io;
    DirectoryWatcher* m_watcher;
    QSet<QString> m_knownFiles;
    // Screenshots that did not decode, with how they looked then.
    QHash<QString, FileStamp> m_unreadyFiles;
};

} // namespace glimra
