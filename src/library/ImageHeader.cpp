// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/ImageHeader.h"

#include <QFile>

#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace glimra {

namespace {

// A file that is no image would otherwise be read to its end looking for a frame header.
constexpr off_t kMaxJpegSearch = 4 * 1024 * 1024;

class Reader final {
public:
    explicit Reader(const QString& path)
        : m_fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)),
          m_owned(true)
    {}
    // Borrows fd, which stays open.
    explicit Reader(int fd) : m_fd(fd), m_owned(false) {}
    ~Reader()
    {
        if (m_owned && m_fd >= 0)
            ::close(m_fd);
    }
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    bool read(off_t offset, void* out, std::size_t size) const
    {
        return m_fd >= 0 && offset >= 0 &&
               ::pread(m_fd, out, size, offset) == static_cast<ssize_t>(size);
    }

private:
    int m_fd;
    bool m_owned;
};

std::uint32_t bigEndian(const std::uint8_t* p, int bytes)
{
    std::uint32_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v = (v << 8) | p[i];
    return v;
}

std::optional<QSize> validSize(std::uint32_t width, std::uint32_t height)
{
    if (width == 0 || height == 0 || width > 0x7fffffff || height > 0x7fffffff)
        return std::nullopt;
    return QSize(static_cast<int>(width), static_cast<int>(height));
}

std::optional<QSize> pngSize(const Reader& file)
{
    // Signature, then IHDR: length 13, type, width, height.
    std::uint8_t head[24];
    if (!file.read(8, head, 16) || bigEndian(head, 4) != 13 || std::memcmp(head + 4, "IHDR", 4))
        return std::nullopt;
    return validSize(bigEndian(head + 8, 4), bigEndian(head + 12, 4));
}

bool isFrameHeader(std::uint8_t marker)
{
    // SOF0..SOF15, except DHT (C4), JPG (C8) and DAC (CC), which share the range.
    return marker >= 0xc0 && marker <= 0xcf && marker != 0xc4 && marker != 0xc8 && marker != 0xcc;
}

std::optional<QSize> jpegSize(const Reader& file)
{
    off_t at = 2;
    while (at < kMaxJpegSearch) {
        std::uint8_t segment[9];
        if (!file.read(at, segment, 4) || segment[0] != 0xff)
            return std::nullopt;
        const std::uint8_t marker = segment[1];
        if (marker == 0xff) { // fill byte
            ++at;
            continue;
        }
        if (marker == 0xd9 || marker == 0xda) // end of image, or pixels before any frame
            return std::nullopt;
        const std::uint32_t length = bigEndian(segment + 2, 2);
        if (length < 2)
            return std::nullopt;
        if (isFrameHeader(marker)) {
            // Length, precision, height, width.
            if (!file.read(at + 2, segment, 7))
                return std::nullopt;
            return validSize(bigEndian(segment + 5, 2), bigEndian(segment + 3, 2));
        }
        at += 2 + static_cast<off_t>(length);
    }
    return std::nullopt;
}

std::optional<QSize> headerSize(const Reader& file)
{
    std::uint8_t magic[8];
    if (!file.read(0, magic, sizeof magic))
        return std::nullopt;
    if (std::memcmp(magic, "\x89PNG\r\n\x1a\n", 8) == 0)
        return pngSize(file);
    if (magic[0] == 0xff && magic[1] == 0xd8)
        return jpegSize(file);
    return std::nullopt;
}

// The last bytes a whole file of the kind has: PNG's empty IEND chunk with its checksum,
// JPEG's end-of-image marker.
bool endsWhole(const Reader& file, off_t size)
{
    static constexpr std::uint8_t kPngEnd[12] = {0,   0,   0,    0,    'I',  'E',
                                                 'N', 'D', 0xae, 0x42, 0x60, 0x82};
    std::uint8_t magic[2];
    if (!file.read(0, magic, sizeof magic))
        return false;
    std::uint8_t tail[sizeof kPngEnd];
    if (magic[0] == 0x89)
        return file.read(size - 12, tail, 12) && std::memcmp(tail, kPngEnd, 12) == 0;
    return file.read(size - 2, tail, 2) && tail[0] == 0xff && tail[1] == 0xd9;
}

} // namespace

std::optional<QSize> readImageHeader(const QString& path)
{
    return headerSize(Reader(path));
}

bool isWholeImageFile(int fd)
{
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    const Reader file(fd);
    return headerSize(file) && endsWhole(file, info.st_size);
}

} // namespace glimra
