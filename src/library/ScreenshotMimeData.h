// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "library/ScreenshotItem.h"

#include <QMimeData>

namespace glimra {

// The largest decoded picture a copy may hold in memory: two 8K screens side by side fit
// (15360x4320 is 265 MB), a forged header claiming gigapixels does not.
inline constexpr qint64 kMaxCopiedImageBytes = qint64(1) << 30;

// Offers one screenshot as TIFF and PNG, always the full picture, and encodes a format only
// when a reader asks for it, so a copy costs nothing until somebody pastes. A picture too
// large to decode is offered as PNG alone when its file is a PNG, else not at all.
class ScreenshotMimeData final : public QMimeData {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ScreenshotMimeData)
public:
    explicit ScreenshotMimeData(ScreenshotItemPtr item,
                                qint64 maxDecodedBytes = kMaxCopiedImageBytes);

    QStringList formats() const override;
    bool hasFormat(const QString& mimeType) const override;

protected:
    QVariant retrieveData(const QString& mimeType, QMetaType type) const override;

private:
    QByteArray encode(const QString& mimeType) const;
    QImage fullPicture() const;

    ScreenshotItemPtr m_item;
    qint64 m_maxDecodedBytes;
    bool m_isPngFile = false;
    QStringList m_formats;
    mutable QHash<QString, QByteArray> m_cache;
};

} // namespace glimra
