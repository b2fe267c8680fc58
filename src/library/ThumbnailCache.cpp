// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/ThumbnailCache.h"

#include "core/ThumbnailFile.h"
#include "core/ThumbnailPaths.h"
#include "library/ScreenshotItem.h"

#include <QImageReader>

namespace glimra {

namespace {

const QSize kLargeBox(thumbnails::kLargeSize, thumbnails::kLargeSize);

QImage readEntry(const QString& entryPath, const QString& path, qint64 modificationTime)
{
    const QString uri = thumbnails::fileUri(path);
    const QString mtime = QString::number(modificationTime);
    QImageReader reader(entryPath, "png");
    // Keys ahead of the pixels (as we write them) let a stale entry cost no decode; some
    // writers put them after, where only the full read finds them.
    const QString early = reader.text(QLatin1StringView(thumbnails::kUriKey));
    if (!early.isEmpty() &&
        (early != uri || reader.text(QLatin1StringView(thumbnails::kMTimeKey)) != mtime))
        return {};
    const QImage image = reader.read();
    if (image.isNull() || image.text(QLatin1StringView(thumbnails::kUriKey)) != uri ||
        image.text(QLatin1StringView(thumbnails::kMTimeKey)) != mtime)
        return {};
    return image;
}

QByteArray encode(const QImage& image, const QString& path, qint64 modificationTime)
{
    const bool alpha = image.hasAlphaChannel();
    const QImage pixels =
        image.convertToFormat(alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    return thumbnails::encodeEntry(
        {pixels.constBits(), pixels.width(), pixels.height(), pixels.bytesPerLine(), alpha},
        thumbnails::fileUri(path), modificationTime);
}

} // namespace

QImage previewOf(const QImage& picture)
{
    if (picture.width() <= kPreviewSize.width() && picture.height() <= kPreviewSize.height())
        return picture;
    const QSize size = picture.size().scaled(kPreviewSize, Qt::KeepAspectRatioByExpanding);
    if (size.width() >= picture.width() || size.height() >= picture.height())
        return picture; // a narrow strip: no smaller while covering the preview
    return picture.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

QImage readCachedThumbnail(const QString& path, qint64 modificationTime)
{
    return readEntry(thumbnails::largeEntryPath(path), path, modificationTime);
}

QImage cacheThumbnail(const QString& path, qint64 modificationTime, const QImage& picture)
{
    QImage thumbnail = picture;
    if (picture.width() > kLargeBox.width() || picture.height() > kLargeBox.height())
        thumbnail = picture.scaled(kLargeBox, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    // A cache that cannot be written only costs a decode next time.
    thumbnails::writeEntry(thumbnails::largeEntryPath(path),
                           encode(thumbnail, path, modificationTime));
    return thumbnail;
}

QImage decodeForThumbnail(const QString& path)
{
    QImageReader reader(path);
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    // Readers that decode at a smaller size (JPEG) then skip most of the work; twice the
    // thumbnail keeps the smooth scaling after it sharp.
    if (size.isValid() &&
        (size.width() > 2 * kLargeBox.width() || size.height() > 2 * kLargeBox.height()))
        reader.setScaledSize(size.scaled(kLargeBox * 2, Qt::KeepAspectRatio));
    return reader.read();
}

bool isRecordedUnreadable(const QString& path, qint64 modificationTime)
{
    return !readEntry(thumbnails::failEntryPath(path), path, modificationTime).isNull();
}

void recordUnreadable(const QString& path, qint64 modificationTime)
{
    QImage mark(1, 1, QImage::Format_ARGB32);
    mark.fill(Qt::transparent);
    thumbnails::writeEntry(thumbnails::failEntryPath(path), encode(mark, path, modificationTime));
}

PreviewLoad loadPreview(const QString& path, bool wantPreview)
{
    const qint64 modified = thumbnails::modificationTime(path);
    if (modified < 0)
        return {PreviewLoad::Unreadable, {}}; // gone
    const QImage cached = readCachedThumbnail(path, modified);
    if (!cached.isNull())
        return {PreviewLoad::Loaded, wantPreview ? previewOf(cached) : QImage()};
    if (isRecordedUnreadable(path, modified))
        return {PreviewLoad::Unreadable, {}};
    const QImage picture = decodeForThumbnail(path);
    if (picture.isNull()) {
        recordUnreadable(path, modified);
        return {PreviewLoad::Unreadable, {}};
    }
    const QImage thumbnail = cacheThumbnail(path, modified, picture);
    return {PreviewLoad::Loaded, wantPreview ? previewOf(thumbnail) : QImage()};
}

} // namespace glimra
