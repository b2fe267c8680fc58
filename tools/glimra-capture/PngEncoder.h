#pragma once

#include "PixelView.h"

#include <QByteArray>

namespace glimra::capture {

// Encodes an opaque screenshot as an 8-bit RGB PNG, fast.
//
// Screen content compresses well with the Up filter and a quick deflate, and that pairing is
// several times faster than the adaptive filtering and default level of general-purpose
// writers, for files of about the same size. libdeflate's fastest level is twice as quick as
// zlib's and writes smaller files; it compresses only whole buffers, so the image is filtered
// in one pass first and compressed in one call (one core does it about as fast as zlib on two,
// and a busy machine is not asked for a second core). The unused fourth byte is dropped.
// Returns an empty array for a null view.
QByteArray encodePng(const PixelView& pixels);

} // namespace glimra::capture
