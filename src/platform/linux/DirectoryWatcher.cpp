// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linux/DirectoryWatcher.h"

#include <QFile>
#include <QSocketNotifier>

#include <cerrno>
#include <sys/inotify.h>
#include <unistd.h>

namespace glimra {

DirectoryWatcher::DirectoryWatcher(QObject* parent) : QObject(parent) {}

DirectoryWatcher::~DirectoryWatcher()
{
    stop();
}

bool DirectoryWatcher::watch(const QString& folder)
{
    stop();
    const int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd < 0)
        return false;
    // IN_CREATE and IN_MODIFY only mark a file as being written; they never trigger a check.
    const uint32_t mask = IN_CREATE | IN_MODIFY | IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM |
                          IN_DELETE | IN_ONLYDIR | IN_EXCL_UNLINK;
    if (inotify_add_watch(fd, QFile::encodeName(folder).constData(), mask) < 0) {
        ::close(fd);
        return false;
    }
    m_fd = fd;
    m_notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &DirectoryWatcher::readEvents);
    return true;
}

void DirectoryWatcher::stop()
{
    if (m_fd < 0)
        return;
    delete m_notifier;
    m_notifier = nullptr;
    ::close(m_fd);
    m_fd = -1;
    m_writing.clear();
    m_finished = {};
}

void DirectoryWatcher::readEvents()
{
    alignas(struct inotify_event) char buffer[16384];
    bool finished = false;
    for (;;) {
        const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
        if (n <= 0) {
            if (n < 0 && errno == EINTR)
                continue;
            break;
        }
        for (ssize_t offset = 0; offset < n;) {
            const auto* event = reinterpret_cast<const struct inotify_event*>(buffer + offset);
            offset += static_cast<ssize_t>(sizeof(struct inotify_event) + event->len);
            if (event->mask & IN_Q_OVERFLOW) {
                finished = true;
                m_finished.all = m_keepNames;
                continue;
            }
            if (event->len == 0 || (event->mask & IN_ISDIR))
                continue;
            const QString name = QFile::decodeName(event->name);
            if (event->mask & (IN_CREATE | IN_MODIFY)) {
                m_writing.insert(name);
            } else {
                m_writing.remove(name);
                finished = true;
                if (m_keepNames)
                    m_finished.names.insert(name);
            }
        }
    }
    if (finished)
        Q_EMIT changed();
}

} // namespace glimra
