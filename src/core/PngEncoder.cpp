// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/PngEncoder.h"

#include "core/PatchedRows.h"

#include <isa-l/crc.h>
#include <isa-l/igzip_lib.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sys/mman.h>
#include <system_error>
#include <thread>
#include <vector>

namespace glimra::capture {

namespace {

constexpr unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
// ISA-L's level 1 compresses filtered screens three to four times as fast as libdeflate's
// fastest level, for files about 5% larger; its level 0 loses another 15% in size for little.
constexpr int kDeflateLevel = 1;
constexpr std::size_t kLevelBufferSize = ISAL_DEF_LVL1_DEFAULT;
// Length, type and checksum around each chunk's data.
constexpr std::size_t kChunkOverhead = 12;
constexpr std::size_t kHeaderSize = 13;
// A zlib stream: deflate with a 32 KB window at the default level, and its Adler-32 at the end.
constexpr unsigned char kZlibHeader[2] = {0x78, 0x01};
constexpr std::size_t kZlibTrailer = 4;
// Rows are filtered this many bytes at a time, so the compressor reads them from the cache.
constexpr std::size_t kPieceBytes = 256 * 1024;
// Bands of about this much filtered data: small enough to start on the first rows the X
// server delivers, large enough that restarting the compressor at each costs nothing visible.
constexpr std::size_t kStripeBytes = 1024 * 1024;
constexpr int kMaxStripes = 16;
constexpr unsigned kMaxThreads = 4;

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
    putBigEndian(out + 8 + size, crc32_gzip_refl(0, out + 4, size + 4));
    return out + size + kChunkOverhead;
}

// Memory with every page mapped in one call: a page fault for each 4 KB costs more than the
// compression of the page on a virtual machine. Nothing is cleared by us, as every byte is
// written before it is read.
class PopulatedMemory final {
public:
    explicit PopulatedMemory(std::size_t size) : m_size(size)
    {
        void* p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
        m_data = p == MAP_FAILED ? nullptr : static_cast<unsigned char*>(p);
    }
    ~PopulatedMemory()
    {
        if (m_data)
            ::munmap(m_data, m_size);
    }
    PopulatedMemory(const PopulatedMemory&) = delete;
    PopulatedMemory& operator=(const PopulatedMemory&) = delete;
    unsigned char* data() const { return m_data; }

private:
    std::size_t m_size;
    unsigned char* m_data;
};

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};

// One band of rows, its own IDAT chunk, compressed as a run of deflate blocks: every band but
// the last ends with a sync flush (an empty stored block, byte-aligned and not final), so the
// chunks' data concatenate into one zlib stream. No band refers back into another, as each
// starts afresh. The first chunk opens the stream with its header; the last one closes it
// with the Adler-32 of all rows, added once every band is done.
struct Stripe {
    int firstRow = 0;
    int endRow = 0;
    bool first = false;
    bool last = false;
    unsigned char* chunk = nullptr; // length, type, data, room for the checksums
    std::size_t capacity = 0;
    std::unique_ptr<unsigned char, FreeDeleter> grown; // where chunk moved when it outgrew its slot
    std::size_t dataSize = 0;                          // so far without the Adler-32
    std::uint32_t adler = 1;
    std::uint32_t crc = 0; // of the type and the data so far
    bool ok = false;
};

std::size_t dataOffset(const Stripe& s)
{
    return 8 + (s.first ? sizeof kZlibHeader : 0);
}

// The slot of a band: screens shrink to a fifth or less; a band that does not moves to a
// larger buffer of its own.
std::size_t slotSize(std::size_t rowBytes, int rows)
{
    return rowBytes * std::size_t(rows) / 4 + 64 * 1024;
}

// One per thread: its buffers serve every band the thread takes.
class StripeCompressor final {
public:
    StripeCompressor(const PixelView& image, std::span<const PixelPatch> patches, FilterRow filter,
                     RowArrival* arrival)
        : m_rows(image, patches, filter), m_arrival(arrival),
          m_rowBytes(std::size_t(image.width) * 3 + 1),
          m_rowsPerPiece(int(std::max<std::size_t>(1, kPieceBytes / m_rowBytes))),
          // The compressor's tables follow on a cache line of their own.
          m_pieceSize((m_rowBytes * std::size_t(m_rowsPerPiece) + kUpFilterSlack + 63) &
                      ~std::size_t(63)),
          m_memory(m_pieceSize + kLevelBufferSize)
    {}

    void run(Stripe& stripe)
    {
        unsigned char* const piece = m_memory.data();
        if (!piece)
            return;
        const std::size_t start = dataOffset(stripe);
        isal_zstream stream;
        isal_deflate_init(&stream);
        stream.level = kDeflateLevel;
        stream.level_buf = piece + m_pieceSize;
        stream.level_buf_size = kLevelBufferSize;
        stream.gzip_flag = IGZIP_DEFLATE;
        stream.next_out = stripe.chunk + start;
        stream.avail_out = std::uint32_t(stripe.capacity - start - 2 * kZlibTrailer);

        for (int y = stripe.firstRow; y < stripe.endRow; y += m_rowsPerPiece) {
            const int rows = std::min(m_rowsPerPiece, stripe.endRow - y);
            if (m_arrival && !m_arrival->waitForRows(y + rows))
                return;
            for (int r = 0; r < rows; ++r) {
                unsigned char* out = piece + m_rowBytes * std::size_t(r);
                out[0] = 2; // Up
                m_rows.filterRow(y + r, out + 1);
            }
            const std::size_t length = m_rowBytes * std::size_t(rows);
            stripe.adler = isal_adler32(stripe.adler, piece, length);
            const bool lastPiece = y + rows == stripe.endRow;
            stream.next_in = piece;
            stream.avail_in = std::uint32_t(length);
            stream.end_of_stream = lastPiece && stripe.last;
            stream.flush = lastPiece && !stripe.last ? SYNC_FLUSH : NO_FLUSH;
            for (;;) {
                if (stream.avail_out == 0 && !grow(stripe, stream, start))
                    return;
                if (isal_deflate(&stream) != COMP_OK)
                    return;
                const bool finished =
                    !stream.end_of_stream || stream.internal_state.state == ZSTATE_END;
                if (stream.avail_in == 0 && stream.avail_out > 0 && finished)
                    break;
            }
        }
        if (stripe.first)
            std::memcpy(stripe.chunk + 8, kZlibHeader, sizeof kZlibHeader);
        stripe.dataSize = start - 8 + stream.total_out;
        std::memcpy(stripe.chunk + 4, "IDAT", 4);
        stripe.crc = crc32_gzip_refl(0, stripe.chunk + 4, 4 + stripe.dataSize);
        stripe.ok = true;
    }

private:
    static bool grow(Stripe& stripe, isal_zstream& stream, std::size_t start)
    {
        const std::size_t used = start + stream.total_out;
        const std::size_t larger = stripe.capacity * 2;
        if (larger - start > UINT32_MAX)
            return false;
        std::unique_ptr<unsigned char, FreeDeleter> moved(
            static_cast<unsigned char*>(std::malloc(larger)));
        if (!moved)
            return false;
        std::memcpy(moved.get(), stripe.chunk, used);
        stripe.grown = std::move(moved);
        stripe.chunk = stripe.grown.get();
        stripe.capacity = larger;
        stream.next_out = stripe.chunk + used;
        stream.avail_out = std::uint32_t(larger - used - 2 * kZlibTrailer);
        return true;
    }

    PatchedRows m_rows;
    RowArrival* m_arrival;
    std::size_t m_rowBytes;
    int m_rowsPerPiece;
    std::size_t m_pieceSize;
    PopulatedMemory m_memory; // the filtered rows of a piece, then the compressor's tables
};

int stripeCount(const PixelView& image, PngEncoding encoding)
{
    int wanted = encoding.stripes;
    if (wanted <= 0) {
        const std::size_t bytes = (std::size_t(image.width) * 3 + 1) * std::size_t(image.height);
        wanted = int(std::clamp<std::size_t>(bytes / kStripeBytes, 1, kMaxStripes));
    }
    return std::clamp(wanted, 1, image.height);
}

bool fitsIn(const PixelPatch& patch, const PixelView& image)
{
    return !patch.pixels.isNull() && patch.x >= 0 && patch.y >= 0 &&
           patch.pixels.width <= image.width - patch.x &&
           patch.pixels.height <= image.height - patch.y;
}

} // namespace

struct EncodedPng::Storage {
    std::unique_ptr<PopulatedMemory> slots;
    std::vector<Stripe> stripes;
    unsigned char head[sizeof kSignature + kChunkOverhead + kHeaderSize];
    unsigned char tail[kChunkOverhead];
};

EncodedPng::EncodedPng() = default;
EncodedPng::EncodedPng(EncodedPng&&) noexcept = default;
EncodedPng& EncodedPng::operator=(EncodedPng&&) noexcept = default;
EncodedPng::~EncodedPng() = default;

EncodedPng encodePngParts(const PixelView& image, std::span<const PixelPatch> patches,
                          PngEncoding encoding, RowArrival* arrival)
{
    EncodedPng png;
    if (image.isNull() || !std::all_of(patches.begin(), patches.end(),
                                       [&](const PixelPatch& p) { return fitsIn(p, image); }))
        return png;
    auto storage = std::make_unique<EncodedPng::Storage>();
    std::vector<Stripe>& stripes = storage->stripes;
    const std::size_t rowBytes = std::size_t(image.width) * 3 + 1;
    const int count = stripeCount(image, encoding);
    stripes.resize(static_cast<std::size_t>(count));
    std::size_t slotsSize = 0;
    for (int i = 0; i < count; ++i) {
        Stripe& s = stripes[std::size_t(i)];
        s.firstRow = int(std::int64_t(image.height) * i / count);
        s.endRow = int(std::int64_t(image.height) * (i + 1) / count);
        s.first = i == 0;
        s.last = i == count - 1;
        s.capacity = slotSize(rowBytes, s.endRow - s.firstRow);
        slotsSize += s.capacity;
    }
    storage->slots = std::make_unique<PopulatedMemory>(slotsSize);
    if (!storage->slots->data())
        return png;
    unsigned char* slot = storage->slots->data();
    for (Stripe& s : stripes) {
        s.chunk = slot;
        slot += s.capacity;
    }

    // Each thread takes the next band in order, so the bands the server has delivered are
    // worked on first. This thread works too, and alone when no other can be started.
    const FilterRow filter = pickUpFilter(encoding.portableFilter);
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        StripeCompressor compressor(image, patches, filter, arrival);
        for (std::size_t i; (i = next.fetch_add(1)) < stripes.size();)
            compressor.run(stripes[i]);
    };
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const unsigned threads = std::min({cores, kMaxThreads, unsigned(stripes.size())});
    std::vector<std::thread> helpers;
    for (unsigned i = 1; i < threads; ++i) {
        try {
            helpers.emplace_back(work);
        } catch (const std::system_error&) {
            break;
        }
    }
    work();
    for (std::thread& t : helpers)
        t.join();

    std::uint32_t adler = 1;
    for (const Stripe& s : stripes) {
        if (!s.ok)
            return png;
        adler = s.first
                    ? s.adler
                    : std::uint32_t(adler32_combine(
                          adler, s.adler, z_off_t(rowBytes * std::size_t(s.endRow - s.firstRow))));
    }
    Stripe& last = stripes.back();
    putBigEndian(last.chunk + 8 + last.dataSize, adler);
    last.crc = crc32_gzip_refl(last.crc, last.chunk + 8 + last.dataSize, kZlibTrailer);
    last.dataSize += kZlibTrailer;

    unsigned char* out = storage->head;
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
    finishChunk(out, "IHDR", kHeaderSize);
    finishChunk(storage->tail, "IEND", 0);

    png.m_parts.emplace_back(storage->head, sizeof storage->head);
    for (Stripe& s : stripes) {
        if (s.dataSize > 0x7fffffffu) // a chunk's length field is 31 bits
            return EncodedPng();
        putBigEndian(s.chunk, std::uint32_t(s.dataSize));
        putBigEndian(s.chunk + 8 + s.dataSize, s.crc);
        png.m_parts.emplace_back(s.chunk, s.dataSize + kChunkOverhead);
    }
    png.m_parts.emplace_back(storage->tail, sizeof storage->tail);
    png.m_storage = std::move(storage);
    return png;
}

EncodedPng encodePngParts(const PixelView& pixels, PngEncoding encoding, RowArrival* arrival)
{
    return encodePngParts(pixels, {}, encoding, arrival);
}

std::string encodePng(const PixelView& pixels, PngEncoding encoding, RowArrival* arrival)
{
    return encodePngParts(pixels, {}, encoding, arrival).joined();
}

} // namespace glimra::capture
