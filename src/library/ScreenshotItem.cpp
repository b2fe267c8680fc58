// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/ScreenshotItem.h"

#include <QImageReader>

namespace glimra {

QString syncStatusText(SyncStatus status)
{
    switch (status) {
    case SyncStatus::Local:
        return QStringLiteral("local");
    case SyncStatus::Syncing:
        return QStringLiteral("syncing");
    case SyncStatus::Synced:
        return QStringLiteral("synced");
    case SyncStatus::Failed:
        return QStringLiteral("failed");
    }
    return QStringLiteral("local");
}

ScreenshotItem::ScreenshotItem(QImage image_, QDateTime date_, SyncStatus syncStatus_,
                               std::optional<QString> serverId_, std::optional<QString> filePath_,
                               std::optional<QString> captureType_)
    : id(QUuid::createUuid()), image(std::move(image_)), date(std::move(date_)),
      syncStatus(syncStatus_), serverId(std::move(serverId_)), filePath(std::move(filePath_)),
      captureType(std::move(captureType_))
{}

QImage ScreenshotItem::fullImage() const
{
    if (filePath) {
        QImageReader reader(*filePath);
        reader.setAutoTransform(true);
        QImage full = reader.read();
        if (!full.isNull())
            return full;
    }
    // The file is gone or damaged: the preview is all that is left of the picture.
    return image;
}

static std::optional<QImage> readPreview(QImageReader& reader)
{
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    if (size.isValid() &&
        (size.width() > kPreviewSize.width() || size.height() > kPreviewSize.height())) {
        // Readers that can decode at a smaller size (JPEG) then skip most of the work.
        reader.setScaledSize(size.scaled(kPreviewSize, Qt::KeepAspectRatioByExpanding));
    }
    QImage image = reader.read();
    if (image.isNull())
        return std::nullopt;
    return image;
}

std::optional<QImage> decodePreview(const QString& path)
{
    QImageReader reader(path);
    return readPreview(reader);
}

std::optional<QImage> decodePreview(QIODevice* device)
{
    QImageReader reader(device);
    return readPreview(reader);
}

} // namespace glimra
