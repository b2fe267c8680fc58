#include "core/ThumbnailFile.h"

#include "core/AtomicFile.h"
#include "core/ThumbnailPaths.h"

#include <QFile>
#include <QFileInfo>

#include <array>
#include <cerrno>
#include <sys/stat.h>

namespace glimra::thumbnails {

namespace {

// Small and cheap: entries are a few tens of kilobytes, and both sides of the cache are in
// a hurry (a capture, a library opening).
constexpr int kDeflateLevel = 3;

constexpr std::array<std::uint32_t, 256> makeCrcTable()
{
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xedb88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}

constexpr std::array<std::uint32_t, 256> kCrcTable = makeCrcTable();

std::uint32_t crc32(const char* data, qsizetype size)
{
    std::uint32_t c = 0xffffffffu;
    for (qsizetype i = 0; i < size; ++i)
        c = kCrcTable[(c ^ static_cast<std::uint8_t>(data[i])) & 0xff] ^ (c >> 8);
    return c ^ 0xffffffffu;
}

void appendBigEndian(QByteArray& out, std::uint32_t v)
{
    const char bytes[4] = {static_cast<char>(v >> 24), static_cast<char>(v >> 16),
                           static_cast<char>(v >> 8), static_cast<char>(v)};
    out.append(bytes, 4);
}

void appendChunk(QByteArray& out, const char type[4], const QByteArray& data)
{
    appendBigEndian(out, static_cast<std::uint32_t>(data.size()));
    const qsizetype start = out.size();
    out.append(type, 4);
    out.append(data);
    appendBigEndian(out, crc32(out.constData() + start, out.size() - start));
}

QByteArray textChunk(const char* key, const QString& value)
{
    return QByteArray(key) + '\0' + value.toLatin1();
}

} // namespace

QByteArray encodeEntry(const Pixels& pixels, const QString& uri, qint64 modificationTime)
{
    if (!pixels.bits || pixels.width <= 0 || pixels.height <= 0)
        return {};
    const int channels = pixels.hasAlpha ? 4 : 3;
    const qsizetype rowBytes = 1 + qsizetype(pixels.width) * channels;
    QByteArray raw(rowBytes * pixels.height, Qt::Uninitialized);
    char* out = raw.data();
    for (int y = 0; y < pixels.height; ++y) {
        const auto* row =
            reinterpret_cast<const std::uint32_t*>(pixels.bits + pixels.bytesPerLine * y);
        *out++ = 0; // no filter: decoding stays a plain inflate
        for (int x = 0; x < pixels.width; ++x) {
            const std::uint32_t p = row[x];
            *out++ = static_cast<char>(p >> 16);
            *out++ = static_cast<char>(p >> 8);
            *out++ = static_cast<char>(p);
            if (pixels.hasAlpha)
                *out++ = static_cast<char>(p >> 24);
        }
    }
    // qCompress makes a zlib stream behind a four-byte length of its own.
    const QByteArray zlib = qCompress(raw, kDeflateLevel).mid(4);

    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    QByteArray header;
    appendBigEndian(header, static_cast<std::uint32_t>(pixels.width));
    appendBigEndian(header, static_cast<std::uint32_t>(pixels.height));
    header.append(char(8));                       // bits per sample
    header.append(char(pixels.hasAlpha ? 6 : 2)); // RGBA or RGB
    header.append(3, '\0');                       // deflate, standard filters, no interlace
    appendChunk(png, "IHDR", header);
    appendChunk(png, "tEXt", textChunk(kUriKey, uri));
    appendChunk(png, "tEXt", textChunk(kMTimeKey, QString::number(modificationTime)));
    appendChunk(png, "IDAT", zlib);
    appendChunk(png, "IEND", {});
    return png;
}

QString writeEntry(const QString& entryPath, const QByteArray& png)
{
    const QString folder = QFileInfo(entryPath).path();
    // Other users have no business knowing which files we looked at: the folders we make are
    // private. One that exists keeps the mode its owner gave it.
    QStringList missing;
    for (QString part = folder; !QFileInfo::exists(part); part = QFileInfo(part).path())
        missing.prepend(part);
    for (const QString& part : std::as_const(missing)) {
        const QByteArray native = QFile::encodeName(part);
        if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
            break; // the write below says why
    }
    return writeFileAtomically(entryPath, png, AtomicFile::Options{.mode = 0600, .sync = false});
}

qint64 modificationTime(const QString& path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return -1;
    return static_cast<qint64>(st.st_mtime);
}

} // namespace glimra::thumbnails
