// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/PixelView.h"

#include <cstdint>
#include <string>
#include <vector>

namespace glimra::capture {

// The pixels scaled to fit within edge x edge, each output pixel the mean of the box of
// source pixels it covers. No larger than the source; tightly packed 32-bit rows.
struct ScaledPixels {
    std::vector<std::uint32_t> pixels;
    int width = 0;
    int height = 0;
};
ScaledPixels boxScaleToFit(const PixelView& source, int edge);

// The capture scaled for the thumbnail cache's large entries. Needs only the pixels, so it
// can run while the file is being encoded.
ScaledPixels captureThumbnail(const PixelView& pixels);

// Puts the preview of the capture just written at path into the desktop's thumbnail cache,
// so neither Glimra nor a file manager has to decode the file again to show it. Best effort:
// a cache that cannot be written costs them that decode, never the capture.
void writeCaptureThumbnail(const ScaledPixels& thumbnail, const std::string& path);
void writeCaptureThumbnail(const PixelView& pixels, const std::string& path);

} // namespace glimra::capture
