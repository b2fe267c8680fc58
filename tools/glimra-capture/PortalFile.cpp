// SPDX-License-Identifier: GPL-3.0-or-later
#include "PortalFile.h"

#include <QFile>
#include <QUrl>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace glimra::capture {

namespace {

// Far beyond any screen's PNG; a larger file is not a screenshot.
constexpr off_t kLargestPicture = off_t(1) << 30;

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

bool before(const timespec& a, const timespec& b)
{
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

QString problemWith(const struct stat& st, const timespec& began)
{
    if (!S_ISREG(st.st_mode))
        return QStringLiteral("is not a regular file");
    if (st.st_uid != ::geteuid())
        return QStringLiteral("belongs to another user");
    if (before(st.st_mtim, began))
        return QStringLiteral("is older than this capture");
    if (st.st_size > kLargestPicture)
        return QStringLiteral("is too large for a screenshot");
    return {};
}

} // namespace

PortalPicture takePortalPicture(const QString& uri, const timespec& began)
{
    PortalPicture picture;
    const QUrl url(uri);
    if (!url.isLocalFile()) {
        picture.error = QStringLiteral("the portal's picture is not a local file: ") + uri;
        return picture;
    }
    const QByteArray path = QFile::encodeName(url.toLocalFile());
    const QString shown = QStringLiteral("the portal's picture ") + url.toLocalFile();
    // O_NONBLOCK: a pipe put in the file's place must not hang the capture.
    const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        picture.error = shown + (errno == ELOOP ? QStringLiteral(" is a symbolic link")
                                                : QString(QStringLiteral(": ") + systemError()));
        return picture;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        picture.error = shown + QStringLiteral(": ") + systemError();
        ::close(fd);
        return picture;
    }
    if (const QString problem = problemWith(st, began); !problem.isEmpty()) {
        picture.error = shown + QLatin1Char(' ') + problem;
        ::close(fd);
        return picture;
    }
    picture.bytes.resize(qsizetype(st.st_size));
    qsizetype done = 0;
    while (done < picture.bytes.size()) {
        const ssize_t got =
            ::read(fd, picture.bytes.data() + done, size_t(picture.bytes.size() - done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        done += got;
    }
    ::close(fd);
    if (done != picture.bytes.size()) {
        picture = {{}, shown + QStringLiteral(" could not be read whole")};
        return picture;
    }
    // Removed only while the name still leads to the file that was read.
    struct stat now {};
    if (::lstat(path.constData(), &now) == 0 && now.st_dev == st.st_dev && now.st_ino == st.st_ino)
        ::unlink(path.constData());
    return picture;
}

} // namespace glimra::capture
