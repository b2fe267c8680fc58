// SPDX-License-Identifier: GPL-3.0-or-later
#include "ImageFile.h"

#include "core/AtomicWrite.h"
#include "core/ImageFormatName.h"
#include "core/PngEncoder.h"

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <jpeglib.h>
#include <sys/stat.h>
#include <unistd.h>

namespace glimra::capture {

namespace {

constexpr int kJpegQuality = 90;

std::string systemError(int error)
{
    return std::strerror(error);
}

bool wantsJpeg(const std::string& path)
{
    return imageFormatOfExtension(fileExtension(path)) == ImageFormat::Jpeg;
}

} // namespace

std::string absolutePath(const std::string& path)
{
    if (!path.empty() && path[0] == '/')
        return path;
    char here[4096];
    return std::string(::getcwd(here, sizeof here) ? here : "") + '/' + path;
}

std::string destinationProblem(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty() || name == "." || name == "..")
        return path + " names a folder, not a file";
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        return path + " is a folder";
    // Never empty: an absolute path has at least its leading slash.
    const std::string absolute = absolutePath(path);
    const std::size_t cut = absolute.rfind('/');
    const std::string folder = cut == 0 ? std::string("/") : absolute.substr(0, cut);
    // These lines end up after "Capture failed: " in the app, so they name the folder, which
    // is what the user can do something about, rather than the generated file name.
    if (::stat(folder.c_str(), &st) != 0)
        return "cannot save into " + folder + ": " + systemError(errno);
    if (!S_ISDIR(st.st_mode))
        return "cannot save into " + folder + ": it is not a folder";
    if (::access(folder.c_str(), W_OK | X_OK) != 0)
        return "cannot save into " + folder + ": " + systemError(errno);
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
std::string encodeJpeg(const PixelView& pixels)
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
    std::string bytes(reinterpret_cast<const char*>(buffer), size);
    std::free(buffer);
    return bytes;
}

} // namespace

std::string encodeForPath(const PixelView& pixels, const std::string& path, RowArrival* arrival)
{
    if (pixels.isNull())
        return {};
    if (!wantsJpeg(path))
        return encodePng(pixels, {}, arrival);
    if (arrival && !arrival->waitForRows(pixels.height))
        return {};
    return encodeJpeg(pixels);
}

std::string saveCapture(const PixelView& pixels, const std::string& path, RowArrival* arrival)
{
    // A PNG is written in the parts it was compressed in; a JPEG comes in one piece.
    EncodedPng png;
    std::string jpeg;
    if (!wantsJpeg(path) && !pixels.isNull())
        png = encodePngParts(pixels, {}, arrival);
    else
        jpeg = encodeForPath(pixels, path, arrival);
    if (png.isEmpty() && jpeg.empty())
        return "could not encode the image for " + path;
    const std::span<const unsigned char> whole(reinterpret_cast<const unsigned char*>(jpeg.data()),
                                               jpeg.size());
    // No sync: the rename already keeps readers from seeing a partial file, and waiting for
    // the disk would double the time a capture takes on slow media.
    using Parts = std::span<const std::span<const unsigned char>>;
    return glimra::posix::writeFileAtomically(path, png.isEmpty() ? Parts(&whole, 1)
                                                                  : Parts(png.parts()));
}

} // namespace glimra::capture
