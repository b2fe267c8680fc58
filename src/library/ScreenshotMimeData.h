#pragma once

#include "library/ScreenshotItem.h"

#include <QMimeData>

namespace glimra {

// Offers one screenshot as TIFF and PNG and encodes a format only when a reader asks for it,
// so a copy costs nothing until somebody pastes.
class ScreenshotMimeData final : public QMimeData {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ScreenshotMimeData)
public:
    explicit ScreenshotMimeData(ScreenshotItemPtr item);

    QStringList formats() const override;
    bool hasFormat(const QString& mimeType) const override;

protected:
    QVariant retrieveData(const QString& mimeType, QMetaType type) const override;

private:
    QByteArray encode(const QString& mimeType) const;

    ScreenshotItemPtr m_item;
    mutable QHash<QString, QByteArray> m_cache;
};

} // namespace glimra
