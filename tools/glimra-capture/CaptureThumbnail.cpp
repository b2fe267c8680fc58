// SPDX-License-Identifier: GPL-3.0-or-later
#include "CaptureThumbnail.h"

#include "ImageFile.h"

#include "core/ThumbnailEntry.h"

#include <algorithm>

namespace glimra::capture {

ScaledPixels boxScaleToFit(const PixelView& source, int edge)
{
    ScaledPixels out;
    if (source.isNull() || edge <= 0)
        return out;
    const double scale = std::min(1.0, double(edge) / std::max(source.width, source.height));
    out.width = std::max(1, int(source.width * scale));
    out.height = std::max(1, int(source.height * scale));
    out.pixels.resize(std::size_t(out.width) * std::size_t(out.height));

    std::vector<int> columnStart(std::size_t(out.width) + 1);
    for (int x = 0; x <= out.width; ++x)
        columnStart[std::size_t(x)] = int(std::int64_t(x) * source.width / out.width);
    std::vector<std::uint32_t> sums(std::size_t(out.width) * 3);
    for (int y = 0; y < out.height; ++y) {
        const int top = int(std::int64_t(y) * source.height / out.height);
        const int bottom = std::max(top + 1, int(std::int64_t(y + 1) * source.height / out.height));
        std::fill(sums.begin(), sums.end(), 0u);
        for (int sy = top; sy < bottom; ++sy) {
            const std::uint8_t* row = source.row(sy);
            for (int x = 0; x < out.width; ++x) {
                std::uint32_t* sum = &sums[std::size_t(x) * 3];
                for (int sx = columnStart[std::size_t(x)]; sx < columnStart[std::size_t(x) + 1];
                     ++sx) {
                    const std::uint8_t* p = row + 4 * sx; // B, G, R, unused
                    sum[0] += p[0];
                    sum[1] += p[1];
                    sum[2] += p[2];
                }
            }
        }
        for (int x = 0; x < out.width; ++x) {
            const std::uint32_t count = std::uint32_t(bottom - top) *
                                        std::uint32_t(std::max(1, columnStart[std::size_t(x) + 1] -
                                                                      columnStart[std::size_t(x)]));
            const std::uint32_t* sum = &sums[std::size_t(x) * 3];
            const std::uint32_t half = count / 2;
            out.pixels[std::size_t(y) * std::size_t(out.width) + std::size_t(x)] =
                0xff000000u | ((sum[2] + half) / count) << 16 | ((sum[1] + half) / count) << 8 |
                ((sum[0] + half) / count);
        }
    }
    return out;
}

ScaledPixels captureThumbnail(const PixelView& pixels)
{
    return boxScaleToFit(pixels, thumbnails::kLargeSize);
}

void writeCaptureThumbnail(const PixelView& pixels, const std::string& path)
{
    writeCaptureThumbnail(captureThumbnail(pixels), path);
}

void writeCaptureThumbnail(const ScaledPixels& small, const std::string& path)
{
    namespace entry = thumbnails::posix;
    const std::string absolute = absolutePath(path);
    const std::int64_t modified = entry::modificationTime(absolute);
    if (modified < 0 || small.pixels.empty())
        return;
    const std::string png =
        entry::encodeEntry({reinterpret_cast<const std::uint8_t*>(small.pixels.data()), small.width,
                            small.height, std::ptrdiff_t(small.width) * 4, false},
                           entry::fileUri(absolute), modified);
    if (!png.empty())
        entry::writeEntry(entry::largeEntryPath(absolute), png);
}

} // namespace glimra::capture
