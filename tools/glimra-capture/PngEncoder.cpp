#include "PngEncoder.h"

#include <libdeflate.h>

#include <bit>
#include <cstring>
#include <memory>
#include <sys/mman.h>

namespace glimra::capture {

namespace {

constexpr unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
// Level 1 keeps deflate the fast half of the work; higher levels cost about twice as long for
// a twentieth smaller file.
constexpr int kDeflateLevel = 1;
// Length, type and checksum around each chunk's data.
constexpr std::size_t kChunkOverhead = 12;

void putBigEndian(unsigned char* out, std::uint32_t v)
{
    out[0] = static_cast<unsigned char>(v >> 24);
    out[1] = static_cast<unsigned char>(v >> 16);
    out[2] = static_cast<unsigned char>(v >> 8);
    out[3] = static_cast<unsigned char>(v);
}

// Writes a chunk whose data already sits at out + 8 and returns the end of the chunk.
unsigned char* finishChunk(unsigned char* out, const char type[4], std::size_t size)
{
    putBigEndian(out, static_cast<std::uint32_t>(size));
    std::memcpy(out + 4, type, 4);
    putBigEndian(out + 8 + size, libdeflate_crc32(0, out + 4, size + 4));
    return out + size + kChunkOverhead;
}

// Memory for the filtered rows, mapped with all its pages at once: one call instead of a
// page fault every 4 KB (thousands for a screen), and nothing cleared by us, as every byte is
// written before it is read.
class FilterBuffer final {
public:
    explicit FilterBuffer(std::size_t size) : m_size(size)
    {
        void* p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
        m_data = p == MAP_FAILED ? nullptr : static_cast<unsigned char*>(p);
    }
    ~FilterBuffer()
    {
        if (m_data)
            ::munmap(m_data, m_size);
    }
    FilterBuffer(const FilterBuffer&) = delete;
    FilterBuffer& operator=(const FilterBuffer&) = delete;
    unsigned char* data() const { return m_data; }

private:
    std::size_t m_size;
    unsigned char* m_data;
};

struct FreeCompressor {
    void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};

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

// Up filter straight from the 32-bit source rows, packed to RGB in the same pass. Four pixels
// become three 32-bit stores rather than twelve byte stores, which kept this pass as costly as
// half of deflate.
inline void filterUpRow(const std::uint8_t* current, const std::uint8_t* above, int width,
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
    for (; x < width; ++x) {
        const std::uint32_t p = upDifference(current, above, x);
        out[0] = static_cast<unsigned char>(p);
        out[1] = static_cast<unsigned char>(p >> 8);
        out[2] = static_cast<unsigned char>(p >> 16);
        out += 3;
    }
}

} // namespace

QByteArray encodePng(const PixelView& image)
{
    if (image.isNull())
        return {};
    const std::size_t rowBytes = static_cast<std::size_t>(image.width) * 3 + 1;
    const std::size_t filteredSize = rowBytes * static_cast<std::size_t>(image.height);
    const FilterBuffer filtered(filteredSize);
    const std::unique_ptr<libdeflate_compressor, FreeCompressor> compressor(
        libdeflate_alloc_compressor(kDeflateLevel));
    if (!filtered.data() || !compressor)
        return {};
    for (int y = 0; y < image.height; ++y) {
        unsigned char* out = filtered.data() + rowBytes * static_cast<std::size_t>(y);
        out[0] = 2; // Up
        filterUpRow(image.row(y), y > 0 ? image.row(y - 1) : nullptr, image.width, out + 1);
    }

    // Compressed straight into the file's bytes, which are then cut to the length used.
    const std::size_t bound = libdeflate_zlib_compress_bound(compressor.get(), filteredSize);
    constexpr std::size_t kHeaderSize = 13;
    QByteArray png(
        static_cast<qsizetype>(sizeof kSignature + 3 * kChunkOverhead + kHeaderSize + bound),
        Qt::Uninitialized);
    auto* out = reinterpret_cast<unsigned char*>(png.data());
    std::memcpy(out, kSignature, sizeof kSignature);
    out += sizeof kSignature;

    unsigned char* header = out + 8;
    putBigEndian(header, static_cast<std::uint32_t>(image.width));
    putBigEndian(header + 4, static_cast<std::uint32_t>(image.height));
    header[8] = 8;  // bits per sample
    header[9] = 2;  // truecolour, no alpha
    header[10] = 0; // deflate
    header[11] = 0; // adaptive filtering (per-row filter byte)
    header[12] = 0; // not interlaced
    out = finishChunk(out, "IHDR", kHeaderSize);

    const std::size_t compressed =
        libdeflate_zlib_compress(compressor.get(), filtered.data(), filteredSize, out + 8, bound);
    if (compressed == 0)
        return {};
    out = finishChunk(out, "IDAT", compressed);
    out = finishChunk(out, "IEND", 0);
    png.truncate(static_cast<qsizetype>(out - reinterpret_cast<unsigned char*>(png.data())));
    return png;
}

} // namespace glimra::capture
