#include "core/ImageFormat.h"

namespace glimra {

QStringView fileExtension(QStringView path)
{
    const QStringView name = path.mid(path.lastIndexOf(u'/') + 1);
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot > 0 ? name.mid(dot + 1) : QStringView();
}

std::optional<ImageFormat> announcedImageFormat(QStringView path)
{
    const QStringView extension = fileExtension(path);
    if (extension.compare(u"png", Qt::CaseInsensitive) == 0)
        return ImageFormat::Png;
    if (extension.compare(u"jpg", Qt::CaseInsensitive) == 0 ||
        extension.compare(u"jpeg", Qt::CaseInsensitive) == 0)
        return ImageFormat::Jpeg;
    return std::nullopt;
}

QString mimeType(ImageFormat format)
{
    return format == ImageFormat::Jpeg ? QStringLiteral("image/jpeg") : QStringLiteral("image/png");
}

} // namespace glimra
