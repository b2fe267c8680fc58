#pragma once

#include "PixelView.h"

#include <QByteArray>

namespace glimra::capture {

// Encodes an opaque screenshot as an 8-bit RGB PNG, fast.
//
// Screen content compresses well with the Up filter and a quick deflate, and that pairing is
// several times faster than the adaptive filtering and default level of general-purpose
// writers, for files of about the same size. The image is cut into horizontal strips that are
// filtered and compressed on separate threads; each strip ends on a byte boundary (a sync
// flush), so the strips join into the one zlib stream PNG allows, with their checksums
// combined. threads == 0 picks one per core. The unused fourth byte is dropped.
// Returns an empty array for a null view.
QByteArray encodePng(const PixelView& pixels, int threads = 0);

} // namespace glimra::capture
