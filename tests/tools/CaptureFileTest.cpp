// SPDX-License-Identifier: GPL-3.0-or-later
#include "CaptureOptions.h"
#include "ImageFile.h"
#include "core/CaptureMode.h"
#include "core/PngEncoder.h"

#include "TestSupport.h"
#include <QImage>
#include <QRandomGenerator>
#include <QtEndian>

#include <sys/stat.h>
#include <vector>
#include <zlib.h>

using namespace glimra::capture;

namespace {

// Screen-like content: flat areas, sharp text-like edges and noise, so that every filter and
// strip boundary sees real differences. The fourth byte of each pixel is garbage, as X servers
// leave it; QImage::operator== ignores it for this format, so it must not leak into colour.
QImage busyImage(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    QRandomGenerator random(quint32(width * 7919 + height));
    auto* pixels = reinterpret_cast<QRgb*>(image.bits()); // 32-bit rows need no padding
    for (int i = 0; i < width * height; ++i) {
        const int x = i % width, y = i / width;
        const QRgb text = (x / 3 + y / 5) % 4 ? 0xfafafa : 0x141414;
        const QRgb rgb = x < width / 3 ? 0xf0f0f0 : x < 2 * width / 3 ? text : random.generate();
        pixels[i] = (rgb & 0xffffffu) | random.generate() << 24;
    }
    return image;
}

PixelView viewOf(const QImage& rgb32)
{
    return {rgb32.constBits(), rgb32.width(), rgb32.height(), rgb32.bytesPerLine()};
}

} // namespace

// Walks the chunks as a strict reader would: every CRC must hold, and the IDAT data joined
// must be one zlib stream whose Adler-32 holds and that inflates to exactly the filtered rows.
::testing::AssertionResult strictlyValid(const QByteArray& png, int width, int height)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(png.constData());
    const auto word = [&](qsizetype at) { return qFromBigEndian<quint32>(bytes + at); };
    QByteArray stream;
    for (qsizetype at = 8; at < png.size();) {
        const quint32 length = word(at);
        if (at + 12 + qsizetype(length) > png.size())
            return ::testing::AssertionFailure() << "chunk runs past the end at " << at;
        if (crc32(0, bytes + at + 4, length + 4) != word(at + 8 + length))
            return ::testing::AssertionFailure() << "bad CRC at " << at;
        if (png.mid(at + 4, 4) == "IDAT")
            stream += png.mid(at + 8, length);
        at += 12 + qsizetype(length);
    }
    uLongf size = uLongf(width * 3 + 1) * uLongf(height);
    std::vector<Bytef> rows(size + 1);
    const int result = uncompress(rows.data(), &size, reinterpret_cast<const Bytef*>(stream.data()),
                                  uLong(stream.size()));
    if (result != Z_OK || size != uLongf(width * 3 + 1) * uLongf(height))
        return ::testing::AssertionFailure() << "zlib says " << result << " after " << size;
    return ::testing::AssertionSuccess();
}

TEST(CapturePng, RoundTripsAnySizeHoweverItIsSplit)
{
    // One-pixel and odd widths catch a filter that runs past a row or mixes up the channels;
    // the splits catch bands that are joined wrongly (a final block too early, a checksum
    // of the wrong rows), on the vector filter and the plain one alike.
    const PngEncoding splits[] = {{}, {1, false}, {3, true}, {7, false}};
    for (const QSize size : {QSize(1, 1), QSize(3, 2), QSize(17, 65), QSize(1920, 1080)}) {
        const QImage source = busyImage(size.width(), size.height());
        for (const PngEncoding split : splits) {
            SCOPED_TRACE(testing::Message()
                         << size.width() << "x" << size.height() << " in " << split.stripes
                         << " portable " << split.portableFilter);
            const QByteArray png = QByteArray::fromStdString(encodePng(viewOf(source), split));
            EXPECT_TRUE(strictlyValid(png, size.width(), size.height()));
            EXPECT_EQ(QImage::fromData(png, "PNG").convertToFormat(QImage::Format_RGB32), source);
        }
    }
    EXPECT_TRUE(encodePng(PixelView{}).empty());
}

TEST(CapturePng, PatchesReadAsIfPastedIn)
{
    // Each patch brings another picture's pixels at its place; the file must be byte for byte
    // that of the picture with them pasted in. Edges, touching patches and runs shorter than
    // the vector filter's step catch a row cut or sourced wrongly.
    const QImage base = busyImage(61, 40), other = busyImage(70, 45);
    const QList<QList<QRect>> cases{
        {{0, 0, 5, 3}, {56, 37, 5, 3}},   {{0, 0, 61, 1}, {0, 39, 61, 1}},
        {{10, 5, 7, 9}, {17, 5, 3, 9}},   {{10, 5, 9, 4}, {10, 9, 9, 6}},
        {{30, 20, 1, 1}, {40, 20, 2, 7}}, {{5, 5, 20, 20}, {15, 15, 20, 20}}, // the first wins
    };
    for (const QList<QRect>& rects : cases) {
        std::vector<PixelPatch> patches;
        QImage pasted = base.copy();
        for (qsizetype i = rects.size() - 1; i >= 0; --i) {
            const QRect r = rects[i];
            patches.insert(patches.begin(), {r.x(), r.y(), viewOf(other)});
            patches.front().pixels.bits += other.bytesPerLine() * r.y() + 4 * r.x();
            patches.front().pixels.width = r.width();
            patches.front().pixels.height = r.height();
            for (int y = r.top(); y <= r.bottom(); ++y)
                for (int x = r.left(); x <= r.right(); ++x)
                    pasted.setPixel(x, y, other.pixel(x, y));
        }
        for (const bool portable : {false, true}) {
            SCOPED_TRACE(testing::Message() << rects.first().x() << " portable " << portable);
            EXPECT_EQ(encodePngParts(viewOf(base), patches, {2, portable}).joined(),
                      encodePng(viewOf(pasted), {2, portable}));
        }
    }
    const PixelPatch outside{55, 0, {other.constBits(), 7, 1, other.bytesPerLine()}};
    EXPECT_TRUE(encodePngParts(viewOf(base), std::span(&outside, 1)).isEmpty());
}

TEST(CaptureFile, JpegKeepsTheChannelOrder)
{
    // X11's blue-first bytes must not swap red and blue.
    QImage orange(40, 30, QImage::Format_RGB32);
    orange.fill(qRgb(220, 120, 10));
    const QRgb decoded =
        QImage::fromData(QByteArray::fromStdString(encodeForPath(viewOf(orange), "o.JPG")))
            .pixel(16, 16);
    EXPECT_NEAR(qRed(decoded), 220, 6);
    EXPECT_NEAR(qGreen(decoded), 120, 6);
    EXPECT_NEAR(qBlue(decoded), 10, 6);
}

TEST(CaptureFile, BadDestinationsAreFoundBeforeAnythingIsGrabbed)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath(u"shot.png"_s).toStdString();
    EXPECT_EQ(destinationProblem(path), "");
    ASSERT_TRUE(QFile(QString::fromStdString(path)).open(QIODevice::WriteOnly));
    EXPECT_EQ(destinationProblem(path), "") << "an existing file is replaced";

    // A missing folder, a "folder" that is a file, and paths that name a folder. Unwritable
    // folders are left to the tool's own test.
    const std::string folder = dir.path().toStdString();
    for (const std::string& bad :
         {folder + "/missing/shot.png", path + "/a.png", folder, folder + '/', folder + "/.."}) {
        const std::string problem = destinationProblem(bad);
        EXPECT_FALSE(problem.empty() || problem.find('\n') != std::string::npos) << bad;
    }
}

TEST(CaptureArguments, AcceptsTheScreencaptureFormsAndRejectsTheRest)
{
    const auto words = [](const QStringList& list) {
        std::vector<std::string> out;
        for (const QString& word : list)
            out.push_back(word.toStdString());
        return out;
    };
    const auto parse = [&](const char* line) {
        return parseArguments(words(QString::fromLatin1(line).split(u' ', Qt::SkipEmptyParts)));
    };
    const std::pair<const char*, CaptureMode> good[] = {
        {"/t/a.png", CaptureMode::FullScreen}, {"-x -s a", CaptureMode::Area},
        {"-w -x a", CaptureMode::Window},      {"-xs a", CaptureMode::Area},
        {"-- -s", CaptureMode::FullScreen},
    };
    for (const auto& [line, mode] : good) {
        const ParsedArguments parsed = parse(line);
        EXPECT_TRUE(parsed.error.empty() && parsed.options.mode == mode) << line;
        EXPECT_EQ(parsed.options.path, QString::fromLatin1(line).section(u' ', -1).toStdString())
            << line;
    }
    // -c is screencapture's clipboard option, which this tool does not offer.
    for (const char* line : {"", "-x", "-s -w a.png", "-sw a.png", "a.png b.png", "-c a.png"}) {
        const std::string error = parse(line).error;
        EXPECT_FALSE(error.empty() || error.find('\n') != std::string::npos) << line;
    }
    // What the app asks for is what the tool does.
    for (const CaptureMode mode : glimra::kCaptureModes) {
        const ParsedArguments parsed =
            parseArguments(words(glimra::captureToolArguments(mode, u"/t/a b.png"_s)));
        EXPECT_TRUE(parsed.error.empty() && parsed.options.mode == mode &&
                    parsed.options.path == "/t/a b.png");
    }
    EXPECT_TRUE(parse("--help").options.showHelp);
    EXPECT_FALSE(parseArguments(std::vector<std::string>{""}).error.empty());
}
