#include "PngEncoder.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <thread>
#include <vector>

namespace glimra::capture {

namespace {

constexpr unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
// Below this many rows per strip the lost dictionary at each strip start costs more than the
// thread saves.
constexpr int kMinRowsPerStrip = 64;
// Level 1 keeps deflate the fast half of the work; higher levels cost about twice as long for
// a tenth smaller file, and the size target of the capture path is met already.
constexpr int kDeflateLevel = 1;
// Beyond this, thread start-up and the per-strip dictionary loss outweigh the gain on a
// screen-sized image.
constexpr unsigned kMaxDefaultThreads = 8;

void putBigEndian(unsigned char* out, std::uint32_t v)
{
    out[0] = static_cast<unsigned char>(v >> 24);
    out[1] = static_cast<unsigned char>(v >> 16);
    out[2] = static_cast<unsigned char>(v >> 8);
    out[3] = static_cast<unsigned char>(v);
}

void appendBigEndian(QByteArray& out, std::uint32_t v)
{
    unsigned char b[4];
    putBigEndian(b, v);
    out.append(reinterpret_cast<const char*>(b), 4);
}

// Appends a chunk whose data is data[0..size) followed by tail (used for the adler32 trailer
// that only exists once every strip is done).
void appendChunk(QByteArray& out, const char type[4], const unsigned char* data, std::size_t size,
                 const unsigned char* tail = nullptr, std::size_t tailSize = 0)
{
    appendBigEndian(out, static_cast<std::uint32_t>(size + tailSize));
    const qsizetype crcStart = out.size();
    out.append(type, 4);
    out.append(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    if (tail)
        out.append(reinterpret_cast<const char*>(tail), static_cast<qsizetype>(tailSize));
    const auto* crcData = reinterpret_cast<const unsigned char*>(out.constData() + crcStart);
    appendBigEndian(out,
                    libdeflate_crc32(0, crcData, static_cast<std::size_t>(out.size() - crcStart)));
}

struct Strip {
    int firstRow = 0;
    int rowCount = 0;
    bool last = false;
    std::vector<unsigned char> deflated; // raw deflate, ends byte-aligned
    std::uint32_t adler = 1;             // adler32 of the filtered rows
    std::size_t filteredSize = 0;
    bool ok = false;
};

// Up filter straight from the 32-bit source rows: each byte minus the byte above, packed to
// RGB in the same pass. The bytewise subtraction is done four lanes at a time in one 32-bit
// word (borrows masked off), which keeps this pass far cheaper than deflate.
inline void filterUpRow(const std::uint8_t* current, const std::uint8_t* above, int width,
                        unsigned char* out)
{
    constexpr std::uint32_t kHigh = 0x80808080u;
    for (int x = 0; x < width; ++x) {
        std::uint32_t a;
        std::uint32_t b = 0;
        std::memcpy(&a, current + 4 * x, 4);
        if (above)
            std::memcpy(&b, above + 4 * x, 4);
        const std::uint32_t d = ((a | kHigh) - (b & ~kHigh)) ^ ((a ^ ~b) & kHigh);
        out[0] = static_cast<unsigned char>(d >> 16);
        out[1] = static_cast<unsigned char>(d >> 8);
        out[2] = static_cast<unsigned char>(d);
        out += 3;
    }
}

void encodeStrip(const PixelView& image, Strip& strip)
{
    const std::size_t rowBytes = static_cast<std::size_t>(image.width) * 3 + 1;
    std::vector<unsigned char> filtered(rowBytes * static_cast<std::size_t>(strip.rowCount));
    // The row above a strip comes from the image, so strips filter exactly as one pass over
    // the whole image would.
    for (int r = 0; r < strip.rowCount; ++r) {
        const int y = strip.firstRow + r;
        unsigned char* out = filtered.data() + rowBytes * static_cast<std::size_t>(r);
        out[0] = 2; // Up
        filterUpRow(image.row(y), y > 0 ? image.row(y - 1) : nullptr, image.width, out + 1);
    }
    strip.filteredSize = filtered.size();
    strip.adler = libdeflate_adler32(1, filtered.data(), filtered.size());

    z_stream z{};
    if (deflateInit2(&z, kDeflateLevel, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return;
    strip.deflated.resize(deflateBound(&z, static_cast<uLong>(filtered.size())) + 16);
    z.next_in = filtered.data();
    z.avail_in = static_cast<uInt>(filtered.size());
    z.next_out = strip.deflated.data();
    z.avail_out = static_cast<uInt>(strip.deflated.size());
    // A sync flush ends the strip on a byte boundary without marking the stream finished, so
    // the next strip's deflate data can follow it directly.
    const int status = deflate(&z, strip.last ? Z_FINISH : Z_SYNC_FLUSH);
    strip.ok = strip.last ? status == Z_STREAM_END
                          : (status == Z_OK && z.avail_in == 0 && z.avail_out > 0);
    strip.deflated.resize(strip.deflated.size() - z.avail_out);
    deflateEnd(&z);
}

} // namespace

QByteArray encodePng(const PixelView& image, int threads)
{
    if (image.isNull())
        return {};

    if (threads <= 0)
        threads = static_cast<int>(
            std::clamp(std::thread::hardware_concurrency(), 1u, kMaxDefaultThreads));
    const int height = image.height;
    const int stripCount = std::clamp(height / kMinRowsPerStrip, 1, threads);

    std::vector<Strip> strips(static_cast<std::size_t>(stripCount));
    const int rowsPerStrip = (height + stripCount - 1) / stripCount;
    int row = 0;
    for (std::size_t i = 0; i < strips.size(); ++i) {
        strips[i].firstRow = row;
        strips[i].rowCount = std::min(rowsPerStrip, height - row);
        row += strips[i].rowCount;
    }
    strips.back().last = true;

    std::vector<std::thread> workers;
    for (std::size_t i = 1; i < strips.size(); ++i)
        workers.emplace_back([&image, &strip = strips[i]] { encodeStrip(image, strip); });
    encodeStrip(image, strips[0]);
    for (std::thread& t : workers)
        t.join();
    for (const Strip& s : strips) {
        if (!s.ok)
            return {};
    }

    std::uint32_t adler = strips[0].adler;
    for (std::size_t i = 1; i < strips.size(); ++i)
        adler = static_cast<std::uint32_t>(
            adler32_combine(adler, strips[i].adler, static_cast<z_off_t>(strips[i].filteredSize)));

    std::size_t total = 64;
    for (const Strip& s : strips)
        total += s.deflated.size() + 12;
    QByteArray out;
    out.reserve(static_cast<qsizetype>(total));
    out.append(reinterpret_cast<const char*>(kSignature), sizeof kSignature);

    unsigned char header[13];
    putBigEndian(header, static_cast<std::uint32_t>(image.width));
    putBigEndian(header + 4, static_cast<std::uint32_t>(height));
    header[8] = 8;  // bits per sample
    header[9] = 2;  // truecolour, no alpha
    header[10] = 0; // deflate
    header[11] = 0; // adaptive filtering (per-row filter byte)
    header[12] = 0; // not interlaced
    appendChunk(out, "IHDR", header, sizeof header);

    // One IDAT per strip: PNG concatenates their data into the single zlib stream, which
    // starts with the zlib header and ends with the combined checksum.
    const unsigned char zlibHeader[2] = {0x78, 0x01};
    unsigned char trailer[4];
    putBigEndian(trailer, adler);
    for (std::size_t i = 0; i < strips.size(); ++i) {
        std::vector<unsigned char>& data = strips[i].deflated;
        if (i == 0)
            data.insert(data.begin(), zlibHeader, zlibHeader + 2);
        const bool last = i + 1 == strips.size();
        appendChunk(out, "IDAT", data.data(), data.size(), last ? trailer : nullptr,
                    last ? sizeof trailer : 0);
    }
    appendChunk(out, "IEND", nullptr, 0);
    return out;
}

} // namespace glimra::capture
