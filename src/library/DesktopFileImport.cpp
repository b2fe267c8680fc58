// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/DesktopFileImport.h"

#include "library/ImageHeader.h"
#include "library/LibraryPaths.h"
#include "library/ScreenshotItem.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace glimra {

namespace {

constexpr int kMaxNumberedNames = 100000;

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

FileStamp stampOf(const struct stat& info)
{
    return {static_cast<qint64>(info.st_size),
            QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(info.st_mtim.tv_sec) * 1000 +
                                           info.st_mtim.tv_nsec / 1000000)};
}

bool sameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

QString errorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// True when path still names the file that was opened: nobody swapped it in the meantime.
bool stillNames(const QByteArray& path, const struct stat& opened)
{
    struct stat now {};
    return ::lstat(path.constData(), &now) == 0 && sameFile(now, opened);
}

DesktopImport copyThenRemove(QFile& file, const QByteArray& source, const struct stat& opened,
                             const QString& folder, const QString& stem, const QString& extension)
{
    DesktopImport result;
    result.stamp = stampOf(opened);
    if (!file.seek(0)) {
        result.error = file.errorString();
        return result;
    }
    const CopyResult copy = copyIntoFolder(file, folder, stem, extension);
    if (!copy.path) {
        result.error = copy.error;
        return result;
    }
    struct stat after {};
    if (::fstat(file.handle(), &after) != 0 || !(stampOf(after) == stampOf(opened)) ||
        !stillNames(source, opened)) {
        QFile::remove(*copy.path);
        result.outcome = DesktopImport::NotReady;
        return result;
    }
    // A source that cannot be removed stays behind as a copy; it is not taken a second time.
    ::unlink(source.constData());
    result.outcome = DesktopImport::Imported;
    result.destination = *copy.path;
    return result;
}

} // namespace

FileStamp entryStamp(const QString& path)
{
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    return stampOf(info);
}

std::optional<QImage> decodeRegularFilePreview(const QString& path)
{
    const FileDescriptor fd(
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat info {};
    if (fd.get() < 0 || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    QFile file;
    if (!file.open(fd.get(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        return std::nullopt;
    return decodePreview(&file);
}

DesktopImport importDesktopFile(const QString& source, const QString& folder, const QString& stem,
                                const QString& extension)
{
    DesktopImport result;
    const QByteArray path = QFile::encodeName(source);
    struct stat seen {};
    if (::lstat(path.constData(), &seen) != 0 || !S_ISREG(seen.st_mode)) {
        result.outcome = DesktopImport::Ignored;
        result.stamp = stampOf(seen);
        return result;
    }
    // O_NOFOLLOW and O_NONBLOCK: should the name be swapped for a link or a pipe after the
    // look above, the open fails or returns at once instead of following or waiting.
    const FileDescriptor fd(
        ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat opened {};
    if (fd.get() < 0 || ::fstat(fd.get(), &opened) != 0) {
        const int error = errno;
        result.outcome =
            error == ENOENT || error == ELOOP ? DesktopImport::Ignored : DesktopImport::Failed;
        result.error = errorText(error);
        result.stamp = stampOf(seen);
        return result;
    }
    result.stamp = stampOf(opened);
    if (!S_ISREG(opened.st_mode)) {
        result.outcome = DesktopImport::Ignored;
        return result;
    }
    // Some writers create the file, close it empty and only then write it, so a finished
    // write is no proof of a finished file: the picture must be whole at both ends, and must
    // not change while it is looked at, before it is moved. Decoding it is left to the
    // previews' own threads: here it would be most of an import's time.
    result.outcome = DesktopImport::NotReady;
    if (opened.st_size == 0)
        return result;
    QFile file;
    if (!file.open(fd.get(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        return result;
    struct stat looked {};
    if (!isWholeImageFile(fd.get()) || ::fstat(fd.get(), &looked) != 0 ||
        !(stampOf(looked) == result.stamp) || !stillNames(path, opened))
        return result;

    for (int n = 1; n < kMaxNumberedNames; ++n) {
        const QString target = numberedFilePath(folder, stem, extension, n);
        const QByteArray targetPath = QFile::encodeName(target);
        if (::renameat2(AT_FDCWD, path.constData(), AT_FDCWD, targetPath.constData(),
                        RENAME_NOREPLACE) == 0) {
            if (!stillNames(targetPath, opened)) {
                // Swapped for something else at the last moment: put that back, untouched.
                ::renameat2(AT_FDCWD, targetPath.constData(), AT_FDCWD, path.constData(),
                            RENAME_NOREPLACE);
                return result;
            }
            result.outcome = DesktopImport::Imported;
            result.destination = target;
            return result;
        }
        const int error = errno;
        if (error == EEXIST)
            continue;
        if (error == EXDEV || error == EINVAL || error == ENOSYS) {
            // Another file system, or one that cannot rename without replacing.
            return copyThenRemove(file, path, opened, folder, stem, extension);
        }
        result.outcome = DesktopImport::Failed;
        result.error = errorText(error);
        return result;
    }
    result.outcome = DesktopImport::Failed;
    result.error = QStringLiteral("No free file name");
    return result;
}

} // namespace glimra
