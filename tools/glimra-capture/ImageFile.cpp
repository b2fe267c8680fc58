#include "ImageFile.h"

#include "PngEncoder.h"

#include "core/AtomicFile.h"
#include "core/ImageFormat.h"

#include <QFileInfo>

#include <cerrno>
#include <csetjmp>
#include <csignal>
#include <cstdio>
#include <cstring>
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
    // These lines end up after "Capture failed: " in the app, so they name the folder, which
    // is what the user can do something about, rather than the generated file name.
    if (::stat(native.constData(), &st) != 0)
        return QStringLiteral("cannot save into %1: %2").arg(folder, systemError(errno));
    if (!S_ISDIR(st.st_mode))
        return QStringLiteral("cannot save into %1: it is not a folder").arg(folder);
    if (::access(native.constData(), W_OK | X_OK) != 0)
        return QStringLiteral("cannot save into %1: %2").arg(folder, systemError(errno));
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

QByteArray encodeForPath(const PixelView& pixels, const QString& path, RowArrival* arrival)
{
    if (pixels.isNull())
        return {};
    if (imageFormatFor(path) == ImageFormat::Png)
        return encodePng(pixels, {}, arrival);
    if (arrival && !arrival->waitForRows(pixels.height))
        return {};
    return encodeJpeg(pixels);
}

QString saveCapture(const PixelView& pixels, const QString& path, RowArrival* arrival)
{
    // A PNG is written in the parts it was compressed in; a JPEG comes in one piece.
    EncodedPng png;
    QByteArray jpeg;
    if (imageFormatFor(path) == ImageFormat::Png && !pixels.isNull())
        png = encodePngParts(pixels, {}, arrival);
    else
        jpeg = encodeForPath(pixels, path, arrival);
    if (png.isEmpty() && jpeg.isEmpty())
        return QStringLiteral("could not encode the image for %1").arg(path);
    const DeferTermination deferTermination;
    // No sync: the rename already keeps readers from seeing a partial file, and waiting for
    // the disk would double the time a capture takes on slow media.
    AtomicFile file(path);
    bool written = file.open();
    if (png.isEmpty())
        written = written && file.write(jpeg);
    for (const std::span<const unsigned char> part : png.parts())
        written = written && file.write(QByteArrayView(part.data(), qsizetype(part.size())));
    if (written && file.commit())
        return {};
    return QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
}

} // namespace glimra::capture
