// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor/EditedFile.h"

#include "core/AtomicFile.h"
#include "core/PngEncoder.h"
#include "library/LibraryPaths.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImageWriter>

namespace glimra::editor {

QByteArray encodePicture(const QImage& picture, const QString& format)
{
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB32);
    if (rgb.isNull())
        return {};
    if (format == QLatin1String("png")) {
        const capture::PixelView pixels{rgb.constBits(), rgb.width(), rgb.height(),
                                        rgb.bytesPerLine()};
        const std::string bytes = capture::encodePng(pixels);
        return QByteArray(bytes.data(), qsizetype(bytes.size()));
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(92);
    if (!writer.write(rgb))
        return {};
    return bytes;
}

QByteArray encodePicture(const RenderedPicture& rendered, const QString& format)
{
    if (format != QLatin1String("png"))
        return encodePicture(rendered.flattened(), format);
    const QImage& picture = rendered.picture;
    const QRect& kept = rendered.kept;
    if (picture.isNull() || kept.isEmpty() || picture.format() != QImage::Format_RGB32)
        return {};
    const auto at = [](const QImage& image, QPoint p) {
        return image.constBits() + image.bytesPerLine() * p.y() + 4 * p.x();
    };
    const capture::PixelView view{at(picture, kept.topLeft()), kept.width(), kept.height(),
                                  picture.bytesPerLine()};
    std::vector<capture::PixelPatch> patches;
    for (const RenderedPicture::Patch& patch : rendered.patches) {
        const QRect part = QRect(patch.at, patch.pixels.size()) & kept;
        if (part.isEmpty() || patch.pixels.format() != QImage::Format_RGB32)
            continue;
        patches.push_back({part.x() - kept.x(),
                           part.y() - kept.y(),
                           {at(patch.pixels, part.topLeft() - patch.at), part.width(),
                            part.height(), patch.pixels.bytesPerLine()}});
    }
    return capture::encodePngParts(view, patches).joined<QByteArray>();
}

SaveOutcome saveAsNewScreenshot(const RenderedPicture& picture, const QString& format,
                                const QString& folder, const QDateTime& when)
{
    QByteArray bytes = encodePicture(picture, format);
    if (bytes.isEmpty())
        return {std::nullopt, QStringLiteral("The picture could not be encoded")};
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    const CopyResult copy = copyIntoFolder(buffer, folder, timestampedStem(when), format);
    return {copy.path, copy.error};
}

SaveOutcome replaceScreenshot(const RenderedPicture& picture, const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    const QString format = suffix == QLatin1String("jpg") || suffix == QLatin1String("jpeg")
                               ? QStringLiteral("jpeg")
                               : QStringLiteral("png");
    const QByteArray bytes = encodePicture(picture, format);
    if (bytes.isEmpty())
        return {std::nullopt, QStringLiteral("The picture could not be encoded")};
    if (QString error = writeFileAtomically(path, bytes, {0644, true}); !error.isEmpty())
        return {std::nullopt, error};
    return {path, {}};
}

} // namespace glimra::editor
