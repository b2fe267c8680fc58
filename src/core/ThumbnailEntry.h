// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The desktop thumbnail cache's entries with no Qt in them, so that the capture tool, which
// must start fast, writes exactly what the app reads. The Qt wrappers in ThumbnailPaths.h and
// ThumbnailFile.h call these.
namespace glimra::thumbnails {

// Edge of the "large" size, the one Glimra writes and reads: its previews are 160x100 device
// pixels, more than the 128 of the "normal" size.
inline constexpr int kLargeSize = 256;

// Text keys every entry carries: whose preview it is, and that file's modification time in
// whole seconds. An entry whose keys do not match the file is stale.
inline constexpr char kUriKey[] = "Thumb::URI";
inline constexpr char kMTimeKey[] = "Thumb::MTime";

// 32-bit pixels in QImage's RGB32/ARGB32 layout (0xAARRGGBB in native order); alpha is
// ignored unless hasAlpha.
struct Pixels {
    const std::uint8_t* bits = nullptr;
    int width = 0;
    int height = 0;
    std::ptrdiff_t bytesPerLine = 0;
    bool hasAlpha = false;
};

namespace posix {

// The file:// URI of an absolute path given in the file system's own bytes, spelt as the
// desktop's other programs spell it: bytes that may not stand in a URI path %-escaped in
// upper-case hex.
std::string fileUri(std::string_view nativeAbsolutePath);
// $XDG_CACHE_HOME/thumbnails, or ~/.cache/thumbnails.
std::string cacheRoot();
// The MD5 of the URI in lower-case hex, then ".png".
std::string entryName(std::string_view uri);
// The large preview of the file at an absolute path.
std::string largeEntryPath(std::string_view nativeAbsolutePath);

// A cache entry: an 8-bit PNG (RGB, or RGBA with alpha) whose two tEXt chunks, ahead of the
// pixels, name the file it shows and that file's modification time. Empty for no pixels.
std::string encodeEntry(const Pixels& pixels, std::string_view uri, std::int64_t modificationTime);
// Writes an entry whole or not at all, readable by the owner only, creating its folders
// private to the owner. Empty on success, else the reason.
std::string writeEntry(const std::string& entryPath, std::string_view png);
// The file's modification time in whole seconds since the epoch; -1 when it cannot be read.
std::int64_t modificationTime(const std::string& path);

} // namespace posix

} // namespace glimra::thumbnails
