// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>

namespace glimra::capture {

// Writes one PNG row filtered with Up (each byte minus the one above it; the first row has
// none above) from 32-bit X11 pixels (B, G, R, unused) as R, G, B: width * 3 bytes at out.
using FilterRow = void (*)(const std::uint8_t* current, const std::uint8_t* above, int width,
                           unsigned char* out);

// The vector filter writes up to this many bytes past a row's end; later rows overwrite them,
// and a buffer holding rows needs this much room after its last one.
inline constexpr std::size_t kUpFilterSlack = 16;

// The fastest filter this processor runs, or the plain C++ one when portable is set.
FilterRow pickUpFilter(bool portable);

} // namespace glimra::capture
