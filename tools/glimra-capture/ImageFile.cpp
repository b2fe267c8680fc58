#include "ImageFile.h"

#include "PngEncoder.h"

#include <QFileInfo>

#include <cerrno>
#include <csetjmp>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <jpeglib.h>
#include <sys/stat.h>
#include <unistd.h>

namespace glimra::capture {

namespace {

constexpr int kJpegQuality = 90;

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

bool writeAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Holds back the usual termination signals while the temporary file exists, so a capture
// stopped at that moment still ends with the whole file or nothing, never a stray temporary.
class DeferTermination final {
public:
    DeferTermination()
    {
        sigset_t set;
        sigemptyset(&set);
        for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
            sigaddset(&set, signal);
        pthread_sigmask(SIG_BLOCK, &set, &m_previous);
    }
    ~DeferTermination() { pthread_sigmask(SIG_SETMASK, &m_previous, nullptr); }
    DeferTermination(const DeferTermination&) = delete;
    DeferTermination& operator=(const DeferTermination&) = delete;

private:
    sigset_t m_previous;
};

} // namespace

ImageFormat formatForPath(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix();
    if (suffix.compare(QLatin1String("jpg"), Qt::CaseInsensitive) == 0 ||
        suffix.compare(QLatin1String("jpeg"), Qt::CaseInsensitive) == 0)
        return ImageFormat::Jpeg;
    return ImageFormat::Png;
}

QString destinationProblem(const QString& path)
{
    const QFileInfo info(path);
    if (info.fileName().isEmpty())
        return QStringLiteral("%1 names a folder, not a file").arg(path);
    if (info.isDir())
        return QStringLiteral("%1 is a folder").arg(path);
    const QString folder = info.absolutePath();
    const QByteArray native = QFile::encodeName(folder);
    struct stat st {};
    if (::stat(native.constData(), &st) != 0)
        return QStringLiteral("cannot write %1: folder %2: %3")
            .arg(path, folder, systemError(errno));
    if (!S_ISDIR(st.st_mode))
        return QStringLiteral("cannot write %1: %2 is not a folder").arg(path, folder);
    if (::access(native.constData(), W_OK | X_OK) != 0)
        return QStringLiteral("cannot write %1: folder %2: %3")
            .arg(path, folder, systemError(errno));
    return {};
}

namespace {

struct JpegFailure {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

// libjpeg reports errors by calling this and expects it not to return.
[[noreturn]] void jumpOut(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<JpegFailure*>(info->err)->jump, 1);
}

// libjpeg-turbo reads the X11 byte order (B, G, R, unused) directly, so no converted copy
// of the screen is made.
QByteArray encodeJpeg(const PixelView& pixels)
{
    jpeg_compress_struct info{};
    JpegFailure failure{};
    info.err = jpeg_std_error(&failure.base);
    failure.base.error_exit = jumpOut;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    if (setjmp(failure.jump)) {
        jpeg_destroy_compress(&info);
        std::free(buffer);
        return {};
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(pixels.width);
    info.image_height = static_cast<JDIMENSION>(pixels.height);
    info.input_components = 4;
    info.in_color_space = JCS_EXT_BGRX;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, kJpegQuality, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(pixels.row(static_cast<int>(info.next_scanline)));
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    QByteArray bytes(reinterpret_cast<const char*>(buffer), static_cast<qsizetype>(size));
    std::free(buffer);
    return bytes;
}

} // namespace

QByteArray encodeForPath(const PixelView& pixels, const QString& path)
{
    if (pixels.isNull())
        return {};
    if (formatForPath(path) == ImageFormat::Png)
        return encodePng(pixels);
    return encodeJpeg(pixels);
}

QString writeFileAtomically(const QString& path, const QByteArray& bytes)
{
    const QFileInfo info(path);
    // Hidden, so folder watchers and file managers that skip dot files never list a partial
    // screenshot.
    const QByteArray pattern = QFile::encodeName(info.absolutePath() + QStringLiteral("/.") +
                                                 info.fileName() + QStringLiteral(".XXXXXX"));
    QByteArray tempName = pattern;
    const DeferTermination deferTermination;
    const int fd = ::mkstemp(tempName.data());
    if (fd < 0)
        return QStringLiteral("cannot write %1: %2").arg(path, systemError(errno));

    // mkstemp makes the file private; a screenshot gets the usual permissions of a new file.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);

    // No fsync: the rename already keeps readers from seeing a partial file, and waiting for
    // the disk would double the time a capture takes on slow media.
    const bool written = writeAll(fd, bytes.constData(), static_cast<std::size_t>(bytes.size()));
    const int writeErrno = errno;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed) {
        ::unlink(tempName.constData());
        return QStringLiteral("cannot write %1: %2")
            .arg(path, systemError(written ? errno : writeErrno));
    }
    if (::rename(tempName.constData(), QFile::encodeName(info.absoluteFilePath()).constData()) !=
        0) {
        const int renameErrno = errno;
        ::unlink(tempName.constData());
        return QStringLiteral("cannot write %1: %2").arg(path, systemError(renameErrno));
    }
    return {};
}

} // namespace glimra::capture
