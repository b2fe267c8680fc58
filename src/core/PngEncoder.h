// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/PixelView.h"

#include <memory>
#include <span>
#include <string>
#include <vector>

namespace glimra::capture {

// How an image is split for encoding. The defaults are what the tool uses; tests force the
// other paths so that each is checked on any machine.
struct PngEncoding {
    int stripes = 0;             // bands of rows compressed apart; 0: about one per megabyte
    bool portableFilter = false; // the plain C++ filter even where a vector one exists
};

// Encodes an opaque screenshot as an 8-bit RGB PNG, fast.
//
// Screen content compresses well with the Up filter and a quick deflate, and that pairing is
// several times faster than the adaptive filtering and default level of general-purpose
// writers, for files of about the same size. The rows are cut into bands that are filtered
// and compressed on all cores, each band in small pieces that stay in the cache between the
// two steps; the bands' deflate streams are joined at byte-aligned flush points, so the result
// is one ordinary zlib stream. The unused fourth byte is dropped.
// Rows still arriving are waited for band by band. Returns no bytes for a null view,
// rows that never arrive, or when memory runs out.
std::string encodePng(const PixelView& pixels, PngEncoding encoding = {},
                      RowArrival* arrival = nullptr);

// The same file in the parts it was made in (signature and header, a chunk per band, the
// end), to be written one after another without first being copied into one buffer.
class EncodedPng {
public:
    EncodedPng();
    EncodedPng(EncodedPng&&) noexcept;
    EncodedPng& operator=(EncodedPng&&) noexcept;
    ~EncodedPng();

    bool isEmpty() const { return m_parts.empty(); }
    const std::vector<std::span<const unsigned char>>& parts() const { return m_parts; }
    // The parts in one buffer: std::string, or any container with reserve and append.
    template <class Bytes = std::string> Bytes joined() const
    {
        using Size = typename Bytes::size_type;
        Size size = 0;
        for (const std::span<const unsigned char> part : m_parts)
            size += Size(part.size());
        Bytes bytes;
        bytes.reserve(size);
        for (const std::span<const unsigned char> part : m_parts)
            bytes.append(reinterpret_cast<const char*>(part.data()), Size(part.size()));
        return bytes;
    }

    struct Storage;

private:
    friend EncodedPng encodePngParts(const PixelView&, std::span<const PixelPatch>, PngEncoding,
                                     RowArrival*);
    std::vector<std::span<const unsigned char>> m_parts;
    std::unique_ptr<Storage> m_storage;
};
EncodedPng encodePngParts(const PixelView& pixels, PngEncoding encoding = {},
                          RowArrival* arrival = nullptr);

// The view with patches standing in for its pixels where they lie, encoded as if it were one
// picture, without first being put together. No bytes when a patch reaches outside the view;
// where patches overlap, the first listed is read.
EncodedPng encodePngParts(const PixelView& pixels, std::span<const PixelPatch> patches,
                          PngEncoding encoding = {}, RowArrival* arrival = nullptr);

} // namespace glimra::capture
