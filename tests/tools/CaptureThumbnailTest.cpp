// SPDX-License-Identifier: GPL-3.0-or-later
#include "CaptureThumbnail.h"

#include "core/ThumbnailFile.h"
#include "core/ThumbnailPaths.h"
#include "library/ThumbnailCache.h"

#include "TestSupport.h"

#include <QImage>

using namespace glimra::capture;

namespace {

PixelView viewOf(const QImage& image)
{
    return {image.constBits(), image.width(), image.height(), image.bytesPerLine()};
}

} // namespace

TEST(CaptureThumbnail, theBoxFilterFitsTheLongerEdgeAndAveragesWhatEachPixelCovers)
{
    const std::pair<QSize, QSize> sizes[] = {
        {{1920, 1080}, {256, 144}}, {{3840, 2160}, {256, 144}}, {{1080, 1920}, {144, 256}},
        {{200, 100}, {200, 100}},   {{10000, 3}, {256, 1}},     {{256, 256}, {256, 256}},
    };
    for (const auto& [from, to] : sizes) {
        QImage image(from, QImage::Format_RGB32);
        image.fill(0xff102030);
        const ScaledPixels scaled = boxScaleToFit(viewOf(image), 256);
        EXPECT_EQ(QSize(scaled.width, scaled.height), to) << from.width() << "x" << from.height();
        EXPECT_EQ(scaled.pixels.at(scaled.pixels.size() / 2), 0xff102030u);
    }
    // A fine checker of black and white averages to grey; a half-black, half-white image
    // keeps its two halves.
    QImage checker(512, 512, QImage::Format_RGB32);
    QImage halves(512, 512, QImage::Format_RGB32);
    for (int y = 0; y < 512; ++y)
        for (int x = 0; x < 512; ++x) {
            checker.setPixel(x, y, (x + y) % 2 ? 0xffffffff : 0xff000000);
            halves.setPixel(x, y, x < 256 ? 0xff000000 : 0xffffffff);
        }
    const ScaledPixels grey = boxScaleToFit(viewOf(checker), 256);
    EXPECT_EQ(grey.pixels[1000] & 0xffffff, 0x808080u);
    const ScaledPixels split = boxScaleToFit(viewOf(halves), 256);
    EXPECT_EQ(split.pixels[10 * 256 + 127] & 0xffffff, 0u);
    EXPECT_EQ(split.pixels[10 * 256 + 128] & 0xffffff, 0xffffffu);
}

TEST(CaptureThumbnail, theEntryTheToolWritesIsTheOneTheAppReads)
{
    const test::ScopedHome home;
    QImage shot(1920, 1080, QImage::Format_RGB32);
    shot.fill(0xff2060c0);
    const QString path = home.path() + u"/Glimra shot.png"_s;
    ASSERT_TRUE(shot.save(path));
    writeCaptureThumbnail(viewOf(shot), path.toStdString());

    const QImage entry = readCachedThumbnail(path, thumbnails::modificationTime(path));
    ASSERT_FALSE(entry.isNull());
    EXPECT_EQ(entry.size(), QSize(256, 144));
    EXPECT_EQ(entry.pixel(100, 100), 0xff2060c0u);
    // The same picture under a name the entry does not name is not found.
    const QString other = home.path() + u"/other.png"_s;
    ASSERT_TRUE(QFile::copy(path, other));
    EXPECT_TRUE(readCachedThumbnail(other, thumbnails::modificationTime(other)).isNull());
}
