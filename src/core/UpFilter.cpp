// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/UpFilter.h"

#include <bit>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define GLIMRA_X86 1
#endif

namespace glimra::capture {

namespace {

static_assert(std::endian::native == std::endian::little, "pixels are read as 32-bit words");

// One pixel's Up difference as R, G, B in the low three bytes' memory order. The bytewise
// subtraction is done four lanes at a time in one 32-bit word (borrows masked off).
inline std::uint32_t upDifference(const std::uint8_t* current, const std::uint8_t* above, int x)
{
    constexpr std::uint32_t kHigh = 0x80808080u;
    std::uint32_t a;
    std::uint32_t b = 0;
    std::memcpy(&a, current + 4 * x, 4);
    if (above)
        std::memcpy(&b, above + 4 * x, 4);
    const std::uint32_t d = ((a | kHigh) - (b & ~kHigh)) ^ ((a ^ ~b) & kHigh);
    return __builtin_bswap32(d) >> 8; // B, G, R, unused -> R, G, B
}

void filterTail(const std::uint8_t* current, const std::uint8_t* above, int from, int width,
                unsigned char* out)
{
    for (int x = from; x < width; ++x) {
        const std::uint32_t p = upDifference(current, above, x);
        out[0] = static_cast<unsigned char>(p);
        out[1] = static_cast<unsigned char>(p >> 8);
        out[2] = static_cast<unsigned char>(p >> 16);
        out += 3;
    }
}

// Up filter straight from the 32-bit source rows, packed to RGB in the same pass. Four pixels
// become three 32-bit stores rather than twelve byte stores.
void filterUpRowPortable(const std::uint8_t* current, const std::uint8_t* above, int width,
                         unsigned char* out)
{
    int x = 0;
    for (; x + 4 <= width; x += 4) {
        const std::uint32_t p0 = upDifference(current, above, x);
        const std::uint32_t p1 = upDifference(current, above, x + 1);
        const std::uint32_t p2 = upDifference(current, above, x + 2);
        const std::uint32_t p3 = upDifference(current, above, x + 3);
        const std::uint32_t words[3] = {p0 | p1 << 24, p1 >> 8 | p2 << 16, p2 >> 16 | p3 << 8};
        std::memcpy(out, words, sizeof words);
        out += sizeof words;
    }
    filterTail(current, above, x, width, out);
}

#ifdef GLIMRA_X86
// The same with SSSE3: one subtraction and one shuffle to R, G, B per four pixels. Each store
// writes four bytes beyond the twelve it keeps; the next store, the tail or the next row's
// filter byte overwrites them, and the buffer has slack for the last row.
__attribute__((target("ssse3"))) void filterUpRowSsse3(const std::uint8_t* current,
                                                       const std::uint8_t* above, int width,
                                                       unsigned char* out)
{
    const __m128i order = _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1);
    int x = 0;
    for (; x + 4 <= width; x += 4) {
        __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(current + 4 * x));
        if (above)
            d = _mm_sub_epi8(d, _mm_loadu_si128(reinterpret_cast<const __m128i*>(above + 4 * x)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_shuffle_epi8(d, order));
        out += 12;
    }
    filterTail(current, above, x, width, out);
}
#endif

} // namespace

FilterRow pickUpFilter(bool portable)
{
#ifdef GLIMRA_X86
    if (!portable && __builtin_cpu_supports("ssse3"))
        return filterUpRowSsse3;
#endif
    (void)portable;
    return filterUpRowPortable;
}

} // namespace glimra::capture
