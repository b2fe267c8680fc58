#include "library/ScreenshotMimeData.h"

#include <QBuffer>
#include <QFile>
#include <QImageWriter>

namespace glimra {

static const QString kTiff = QStringLiteral("image/tiff");
static const QString kPng = QStringLiteral("image/png");

ScreenshotMimeData::ScreenshotMimeData(ScreenshotItemPtr item) : m_item(std::move(item)) {}

QStringList ScreenshotMimeData::formats() const
{
    return {kTiff, kPng};
}

bool ScreenshotMimeData::hasFormat(const QString& mimeType) const
{
    return mimeType == kTiff || mimeType == kPng;
}

QVariant ScreenshotMimeData::retrieveData(const QString& mimeType, QMetaType) const
{
    if (!hasFormat(mimeType))
        return {};
    auto cached = m_cache.constFind(mimeType);
    if (cached != m_cache.constEnd())
        return *cached;
    const QByteArray data = encode(mimeType);
    if (data.isEmpty())
        return {};
    m_cache.insert(mimeType, data);
    return data;
}

QByteArray ScreenshotMimeData::encode(const QString& mimeType) const
{
    if (mimeType == kPng && m_item->filePath) {
        // A PNG file already is the PNG a reader wants, byte for byte and without re-encoding.
        QFile file(*m_item->filePath);
        if (file.open(QIODevice::ReadOnly) && file.peek(8) == QByteArray("\x89PNG\r\n\x1a\n", 8))
            return file.readAll();
    }
    const QImage image = m_item->fullImage();
    if (image.isNull())
        return {};
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, mimeType == kPng ? "png" : "tiff");
    if (!writer.write(image))
        return {};
    return bytes;
}

} // namespace glimra
