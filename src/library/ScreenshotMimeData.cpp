// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/ScreenshotMimeData.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>

namespace glimra {

static const QString kTiff = QStringLiteral("image/tiff");
static const QString kPng = QStringLiteral("image/png");

static bool startsLikePng(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.peek(8) == QByteArray("\x89PNG\r\n\x1a\n", 8);
}

ScreenshotMimeData::ScreenshotMimeData(ScreenshotItemPtr item, qint64 maxDecodedBytes)
    : m_item(std::move(item)), m_maxDecodedBytes(maxDecodedBytes)
{
    bool decodable = true;
    if (m_item->filePath) {
        m_isPngFile = startsLikePng(*m_item->filePath);
        // The header alone tells the size; nothing is decoded until a reader asks.
        const QSize size = QImageReader(*m_item->filePath).size();
        decodable = !size.isValid() || qint64(size.width()) * size.height() * 4 <= maxDecodedBytes;
    }
    if (decodable)
        m_formats = {kTiff, kPng};
    else if (m_isPngFile)
        m_formats = {kPng};
}

QStringList ScreenshotMimeData::formats() const
{
    return m_formats;
}

bool ScreenshotMimeData::hasFormat(const QString& mimeType) const
{
    return m_formats.contains(mimeType);
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

QImage ScreenshotMimeData::fullPicture() const
{
    if (m_item->filePath) {
        QImageReader reader(*m_item->filePath);
        reader.setAutoTransform(true);
        // Qt refuses pictures over a fixed size, a guard against forged headers; this one's
        // header was measured against our own bound already. The limit is process-wide:
        // raise it for this one read only.
        const int saved = QImageReader::allocationLimit();
        const int needed = static_cast<int>(m_maxDecodedBytes >> 20) + 1;
        if (saved > 0 && saved < needed)
            QImageReader::setAllocationLimit(needed);
        QImage full = reader.read();
        QImageReader::setAllocationLimit(saved);
        if (!full.isNull())
            return full;
    }
    // The file is gone or damaged: the preview is all that is left of the picture.
    return m_item->image;
}

QByteArray ScreenshotMimeData::encode(const QString& mimeType) const
{
    if (mimeType == kPng && m_isPngFile) {
        // A PNG file already is the PNG a reader wants, byte for byte and without re-encoding.
        QFile file(*m_item->filePath);
        if (file.open(QIODevice::ReadOnly))
            return file.readAll();
    }
    const QImage image = fullPicture();
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
