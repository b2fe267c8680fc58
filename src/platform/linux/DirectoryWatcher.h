#pragma once

#include <QObject>
#include <QSet>
#include <QString>

class QSocketNotifier;

namespace glimra {

// Watches one folder's direct entries through inotify and reports only finished changes: a
// file closed after writing, renamed in or out, or deleted. Creation alone is never reported,
// because a new file is empty until its writer has finished with it.
class DirectoryWatcher final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DirectoryWatcher)
public:
    explicit DirectoryWatcher(QObject* parent = nullptr);
    ~DirectoryWatcher() override;

    // False when the folder cannot be watched (missing, unreadable, out of watches).
    bool watch(const QString& folder);
    void stop();
    bool isWatching() const { return m_fd >= 0; }

    // True while a writer has the named file open for writing; its content may be partial.
    bool isBeingWritten(const QString& name) const { return m_writing.contains(name); }

Q_SIGNALS:
    void changed();

private:
    void readEvents();

    int m_fd = -1;
    QSocketNotifier* m_notifier = nullptr;
    QSet<QString> m_writing;
};

} // namespace glimra
