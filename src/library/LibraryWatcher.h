// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QHash>
#include <QImage>
#include <QObject>

class QThreadPool;

namespace glimra {

class DirectoryWatcher;

// Notices when another program edits a picture of the library folder, and reads its new
// preview. Files new to the folder are only noted: whoever put them there adds them.
class LibraryWatcher final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LibraryWatcher)
public:
    // Decodes run on io, in the order they were asked for.
    LibraryWatcher(QThreadPool* io, QObject* parent = nullptr);
    ~LibraryWatcher() override;

    // False when the library folder cannot be watched.
    bool start();
    void stop();

Q_SIGNALS:
    void pictureChanged(const QString& path, const QImage& preview);

private:
    void rememberModificationTimes();
    void checkForModifiedScreenshots();

    QThreadPool* m_io;
    DirectoryWatcher* m_watcher;
    QHash<QString, QDateTime> m_knownModificationTimes;
};

} // namespace glimra
