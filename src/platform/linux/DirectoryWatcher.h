// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QSet>
#include <QString>

#include <utility>

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

    // The entries whose change has finished since the last call, for a listener that would
    // rather look at those than at the whole folder. Kept only once asked for; `all` says
    // that events were lost and every entry has to be looked at.
    struct Finished {
        QSet<QString> names;
        bool all = false;
    };
    void keepFinishedNames() { m_keepNames = true; }
    Finished takeFinished() { return std::exchange(m_finished, {}); }

Q_SIGNALS:
    void changed();

private:
    void readEvents();

    int m_fd = -1;
    QSocketNotifier* m_notifier = nullptr;
    QSet<QString> m_writing;
    bool m_keepNames = false;
    Finished m_finished;
};

} // namespace glimra
