// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/ThumbnailEntry.h"

#include "core/AtomicWrite.h"

#include <md5.h>
#include <zlib.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <vector>

namespace glimra::thumbnails::posix {

namespace {

// Small and cheap: entries are a few tens of kilobytes, and both sides of the cache are in
// a hurry (a capture, a library opening).
constexpr int kDeflateLevel = 3;

void appendBigEndian(std::string& out, std::uint32_t v)
{
    const char bytes[4] = {static_cast<char>(v >> 24), static_cast<char>(v >> 16),
                           static_cast<char>(v >> 8), static_cast<char>(v)};
    out.append(bytes, 4);
}

void appendChunk(std::string& out, const char type[4], std::string_view data)
{
    appendBigEndian(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t start = out.size();
    out.append(type, 4);
    out.append(data);
    const auto* bytes = reinterpret_cast<const Bytef*>(out.data() + start);
    appendBigEndian(out, std::uint32_t(crc32(0, bytes, uInt(out.size() - start))));
}

std::string textChunk(const char* key, std::string_view value)
{
    std::string text(key);
    text += '\0';
    text += value;
    return text;
}

} // namespace

std::string fileUri(std::string_view nativeAbsolutePath)
{
    // The characters GLib leaves as they are in a path, so the hash matches the one the file
    // managers compute; everything else, spaces and non-ASCII bytes included, is escaped.
    constexpr std::string_view kKept = "!$&'()*+,/:=@-._~";
    constexpr char kHex[] = "0123456789ABCDEF";
    std::string uri = "file://";
    for (const char c : nativeAbsolutePath) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
            (byte >= '0' && byte <= '9') || kKept.find(c) != std::string_view::npos) {
            uri += c;
        } else {
            uri += '%';
            uri += kHex[byte >> 4];
            uri += kHex[byte & 0xf];
        }
    }
    return uri;
}

std::string cacheRoot()
{
    // A relative value is invalid and must be ignored.
    const char* cache = std::getenv("XDG_CACHE_HOME");
    if (cache && cache[0] == '/')
        return std::string(cache) + "/thumbnails";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "/") + "/.cache/thumbnails";
}

std::string entryName(std::string_view uri)
{
    char hex[MD5_DIGEST_STRING_LENGTH];
    MD5Data(reinterpret_cast<const std::uint8_t*>(uri.data()), uri.size(), hex);
    return std::string(hex) + ".png";
}

std::string largeEntryPath(std::string_view nativeAbsolutePath)
{
    return cacheRoot() + "/large/" + entryName(fileUri(nativeAbsolutePath));
}

std::string encodeEntry(const Pixels& pixels, std::string_view uri, std::int64_t modificationTime)
{
    if (!pixels.bits || pixels.width <= 0 || pixels.height <= 0)
        return {};
    const int channels = pixels.hasAlpha ? 4 : 3;
    const std::size_t rowBytes = 1 + std::size_t(pixels.width) * std::size_t(channels);
    std::vector<Bytef> raw(rowBytes * std::size_t(pixels.height));
    Bytef* out = raw.data();
    for (int y = 0; y < pixels.height; ++y) {
        const auto* row =
            reinterpret_cast<const std::uint32_t*>(pixels.bits + pixels.bytesPerLine * y);
        *out++ = 0; // no filter: decoding stays a plain inflate
        for (int x = 0; x < pixels.width; ++x) {
            const std::uint32_t p = row[x];
            *out++ = static_cast<Bytef>(p >> 16);
            *out++ = static_cast<Bytef>(p >> 8);
            *out++ = static_cast<Bytef>(p);
            if (pixels.hasAlpha)
                *out++ = static_cast<Bytef>(p >> 24);
        }
    }
    uLongf zlibSize = compressBound(uLong(raw.size()));
    std::string zlib(zlibSize, '\0');
    if (compress2(reinterpret_cast<Bytef*>(zlib.data()), &zlibSize, raw.data(), uLong(raw.size()),
                  kDeflateLevel) != Z_OK)
        return {};
    zlib.resize(zlibSize);

    std::string png("\x89PNG\r\n\x1a\n", 8);
    std::string header;
    appendBigEndian(header, static_cast<std::uint32_t>(pixels.width));
    appendBigEndian(header, static_cast<std::uint32_t>(pixels.height));
    header += char(8);                       // bits per sample
    header += char(pixels.hasAlpha ? 6 : 2); // RGBA or RGB
    header.append(3, '\0');                  // deflate, standard filters, no interlace
    appendChunk(png, "IHDR", header);
    appendChunk(png, "tEXt", textChunk(kUriKey, uri));
    appendChunk(png, "tEXt", textChunk(kMTimeKey, std::to_string(modificationTime)));
    appendChunk(png, "IDAT", zlib);
    appendChunk(png, "IEND", {});
    return png;
}

std::string writeEntry(const std::string& entryPath, std::string_view png)
{
    // Other users have no business knowing which files we looked at: the folders we make are
    // private. One that exists keeps the mode its owner gave it.
    for (std::size_t slash = entryPath.find('/', 1); slash != std::string::npos;
         slash = entryPath.find('/', slash + 1)) {
        const std::string part = entryPath.substr(0, slash);
        struct stat st {};
        if (::stat(part.c_str(), &st) != 0 && ::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            break; // the write below says why
    }
    const std::span<const unsigned char> bytes(reinterpret_cast<const unsigned char*>(png.data()),
                                               png.size());
    return glimra::posix::writeFileAtomically(entryPath, {&bytes, 1}, 0600);
}

std::int64_t modificationTime(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return -1;
    return static_cast<std::int64_t>(st.st_mtime);
}

} // namespace glimra::thumbnails::posix
