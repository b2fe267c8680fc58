#include "CaptureOptions.h"
#include "ImageFile.h"
#include "PngEncoder.h"

#include <QDir>
#include <QFile>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

using namespace glimra::capture;

namespace {

// Screen-like content: flat areas, sharp text-like edges and noise, so that every filter and
// strip boundary sees real differences.
QImage busyImage(int width, int height, quint32 seed)
{
    QImage image(width, height, QImage::Format_RGB32);
    QRandomGenerator random(seed);
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            if (x < width / 3)
                row[x] = qRgb(240, 240, 240);
            else if (x < 2 * width / 3)
                row[x] = ((x / 3 + y / 5) % 4 == 0) ? qRgb(20, 20, 20) : qRgb(250, 250, 250);
            else
                row[x] = random.generate() | 0xff000000u;
        }
    }
    return image;
}

// Inflates the joined IDAT data to the end of the stream, so zlib verifies the combined
// checksum: decoders may stop reading once they have every row and never look at it. (libpng
// checks the chunk CRCs itself.)
::testing::AssertionResult zlibStreamIsWhole(const QByteArray& png, qsizetype expectedRawSize)
{
    QByteArray idat;
    for (qsizetype pos = 8; pos + 12 <= png.size();) {
        const qsizetype length = qFromBigEndian<quint32>(png.constData() + pos);
        if (png.mid(pos + 4, 4) == "IDAT")
            idat += png.mid(pos + 8, length);
        pos += 12 + length;
    }
    QByteArray raw(expectedRawSize + 1, '\0');
    uLongf rawSize = static_cast<uLongf>(raw.size());
    const int status = uncompress(reinterpret_cast<Bytef*>(raw.data()), &rawSize,
                                  reinterpret_cast<const Bytef*>(idat.constData()),
                                  static_cast<uLong>(idat.size()));
    if (status != Z_OK || static_cast<qsizetype>(rawSize) != expectedRawSize)
        return ::testing::AssertionFailure()
               << "zlib status " << status << ", " << rawSize << " bytes";
    return ::testing::AssertionSuccess();
}

PixelView viewOf(const QImage& rgb32)
{
    return {rgb32.constBits(), rgb32.width(), rgb32.height(), rgb32.bytesPerLine()};
}

QStringList filesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
}

} // namespace

TEST(CapturePng, DecodesToTheSamePixelsForAnySizeAndStripCount)
{
    // Heights around the strip minimum and uneven splits are where strips join wrongly.
    const QSize sizes[] = {{1, 1}, {3, 2}, {17, 65}, {640, 129}, {333, 64 * 3 + 1}, {1920, 1080}};
    for (const QSize size : sizes) {
        const QImage source = busyImage(size.width(), size.height(), 7u + size.height());
        for (const int threads : {1, 2, 3, 8}) {
            const QByteArray png = encodePng(viewOf(source), threads);
            const qsizetype raw = qsizetype(size.height()) * (size.width() * 3 + 1);
            ASSERT_TRUE(zlibStreamIsWhole(png, raw))
                << size.width() << "x" << size.height() << " threads " << threads;
            QImage decoded;
            ASSERT_TRUE(decoded.loadFromData(png, "PNG"));
            ASSERT_EQ(decoded.convertToFormat(QImage::Format_RGB32), source)
                << size.width() << "x" << size.height() << " threads " << threads;
        }
    }
}

TEST(CapturePng, IgnoresThePaddingByteAndRejectsEmptyViews)
{
    // X servers leave the fourth byte of each pixel undefined; it must not leak into colour.
    QImage padded = busyImage(90, 70, 5);
    QImage clean = padded.copy();
    QRandomGenerator random(11);
    for (int y = 0; y < padded.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(padded.scanLine(y));
        for (int x = 0; x < padded.width(); ++x)
            row[x] = (row[x] & 0xffffffu) | (random.generate() << 24);
    }
    for (const QString& name : {QStringLiteral("a.png"), QStringLiteral("a.jpg")}) {
        EXPECT_EQ(encodeForPath(viewOf(padded), name), encodeForPath(viewOf(clean), name))
            << name.toStdString();
    }
    EXPECT_TRUE(encodePng(PixelView{}).isEmpty());
    EXPECT_TRUE(encodeForPath(PixelView{}, QStringLiteral("a.jpg")).isEmpty());
}

TEST(CaptureFile, ExtensionChoosesTheEncoding)
{
    for (const char* jpeg : {"a.jpg", "a.jpeg", "/x/y.JPG", "shot.JpEg", "a.png.jpg"})
        EXPECT_EQ(formatForPath(QString::fromLatin1(jpeg)), ImageFormat::Jpeg) << jpeg;
    for (const char* png :
         {"a.png", "a.PNG", "a.tiff", "noextension", "a.jpg.png", ".jpg.d/a", "a.jpgx"})
        EXPECT_EQ(formatForPath(QString::fromLatin1(png)), ImageFormat::Png) << png;

    // Channels in the right order: X11's blue-first bytes must not swap red and blue.
    QImage orange(40, 30, QImage::Format_RGB32);
    orange.fill(qRgb(220, 120, 10));
    const QImage jpeg = QImage::fromData(encodeForPath(viewOf(orange), QStringLiteral("o.jpg")));
    ASSERT_EQ(jpeg.size(), orange.size());
    EXPECT_NEAR(qRed(jpeg.pixel(16, 16)), 220, 6);
    EXPECT_NEAR(qGreen(jpeg.pixel(16, 16)), 120, 6);
    EXPECT_NEAR(qBlue(jpeg.pixel(16, 16)), 10, 6);
}

// Unwritable folders are covered by the tool's own test, which knows whether it runs as root.
TEST(CaptureFile, DestinationProblemsAreFoundBeforeCapturing)
{
    QTemporaryDir dir;
    const QString folder = dir.path();
    EXPECT_TRUE(destinationProblem(folder + QStringLiteral("/shot.png")).isEmpty());

    QFile plain(folder + QStringLiteral("/plain"));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    const QString problems[] = {
        folder + QStringLiteral("/missing/shot.png"),
        folder + QStringLiteral("/plain/shot.png"), // the "folder" is a file
        folder,                                     // the path is a folder
        folder + QStringLiteral("/"),
    };
    for (const QString& path : problems) {
        const QString problem = destinationProblem(path);
        EXPECT_FALSE(problem.isEmpty()) << path.toStdString();
        EXPECT_FALSE(problem.contains(QLatin1Char('\n'))) << problem.toStdString();
    }
}

TEST(CaptureFile, AtomicWriteLeavesTheWholeFileOrNothing)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("shot.png"));
    const QByteArray first(300000, 'a');
    ASSERT_EQ(writeFileAtomically(path, first), QString());
    const QByteArray second("replaced");
    ASSERT_EQ(writeFileAtomically(path, second), QString());

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), second);
    EXPECT_EQ(filesIn(dir.path()), QStringList{QStringLiteral("shot.png")});

    // Permissions are those of any new file, not the private ones of the temporary file.
    const mode_t mask = ::umask(022);
    ASSERT_EQ(writeFileAtomically(path, first), QString());
    ::umask(mask);
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);

    QFile::remove(path);
    const QString missing = dir.filePath(QStringLiteral("gone/shot.png"));
    const QString error = writeFileAtomically(missing, QByteArray("x"));
    EXPECT_TRUE(error.contains(missing)) << error.toStdString();
    EXPECT_TRUE(filesIn(dir.path()).isEmpty());

    // Renaming onto a folder fails after the data was written: the temporary must go too.
    QDir(dir.path()).mkdir(QStringLiteral("taken.png"));
    QDir(dir.filePath(QStringLiteral("taken.png"))).mkdir(QStringLiteral("inner"));
    EXPECT_FALSE(
        writeFileAtomically(dir.filePath(QStringLiteral("taken.png")), QByteArray("x")).isEmpty());
    EXPECT_TRUE(filesIn(dir.path()).isEmpty());
}

TEST(CaptureArguments, AcceptsTheScreencaptureFormsAndRejectsTheRest)
{
    const auto parse = [](const char* line) {
        return parseArguments(
            QString::fromLatin1(line).split(QLatin1Char(' '), Qt::SkipEmptyParts));
    };
    const std::pair<const char*, CaptureMode> good[] = {
        {"/t/a.png", CaptureMode::FullScreen}, {"-x a", CaptureMode::FullScreen},
        {"-x -s a", CaptureMode::Area},        {"-w -x a", CaptureMode::Window},
        {"-xs a", CaptureMode::Area},          {"-- -s", CaptureMode::FullScreen},
    };
    for (const auto& [line, mode] : good) {
        const ParsedArguments parsed = parse(line);
        EXPECT_TRUE(parsed.error.isEmpty()) << line;
        EXPECT_EQ(parsed.options.mode, mode) << line;
        EXPECT_EQ(parsed.options.path, QString::fromLatin1(line).section(QLatin1Char(' '), -1));
    }
    EXPECT_TRUE(parse("--help").options.showHelp);

    // -c is screencapture's clipboard option, which this tool does not offer.
    for (const char* line : {"", "-x", "-s -w a.png", "-sw a.png", "a.png b.png", "-c a.png"}) {
        const QString error = parse(line).error;
        EXPECT_FALSE(error.isEmpty()) << line;
        EXPECT_FALSE(error.contains(QLatin1Char('\n')));
    }
    EXPECT_FALSE(parseArguments({QString()}).error.isEmpty());
}
