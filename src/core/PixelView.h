// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace glimra::capture {

// Borrowed 32-bit pixels as X11 hands them over for 24/32-bit screens on little-endian
// machines: bytes B, G, R, unused per pixel (QImage::Format_RGB32's layout). The full-screen
// path never loads Qt's GUI library, so it cannot pass a QImage.
struct PixelView {
    const std::uint8_t* bits = nullptr;
    int width = 0;
    int height = 0;
    std::ptrdiff_t bytesPerLine = 0;

    bool isNull() const { return !bits || width <= 0 || height <= 0; }
    const std::uint8_t* row(int y) const { return bits + bytesPerLine * y; }
};

// Pixels that stand in for a view's own in a rectangle of it, at (x, y): an edited picture
// brings only the parts its marks changed, and the rest is read from the untouched original.
struct PixelPatch {
    int x = 0;
    int y = 0;
    PixelView pixels;

    bool covers(int px, int py) const
    {
        return px >= x && px < x + pixels.width && py >= y && py < y + pixels.height;
    }
};

// Rows that are still on their way: the X server fills a shared segment band by band, and
// the encoder starts on the first band while the server copies the next.
class RowArrival {
public:
    virtual ~RowArrival() = default;
    // Blocks until rows [0, rows) are in place; false when they never will be. Callable from
    // any thread.
    virtual bool waitForRows(int rows) = 0;
};

// Owned pixels: the buffer is whatever the producer allocated (an X reply or a shared memory
// segment), released with it.
struct PixelBuffer {
    std::shared_ptr<const std::uint8_t> storage;
    PixelView view;
    bool shared = false;                 // came through shared memory
    std::shared_ptr<RowArrival> arrival; // null when every row is already in place

    bool waitForRows(int rows) const { return !arrival || arrival->waitForRows(rows); }
};

} // namespace glimra::capture
