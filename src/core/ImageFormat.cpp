// SPDX-License-Identifier: GPL-3.0-or-later
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
    return imageFormatOfExtension(fileExtension(path).toUtf8().toStdString());
}

QString mimeType(ImageFormat format)
{
    return format == ImageFormat::Jpeg ? QStringLiteral("image/jpeg") : QStringLiteral("image/png");
}

} // namespace glimra
