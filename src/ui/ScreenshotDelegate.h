#pragma once

#include <QStyledItemDelegate>

namespace glimra {

// Paints one screenshot row: the preview on the left, the file name and the date with the
// sync state beside it. The preview is the model's decoration, drawn as it is held, never
// copied into the row; a row whose preview is still loading shows an empty frame.
class ScreenshotDelegate final : public QStyledItemDelegate {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ScreenshotDelegate)
public:
    static constexpr QSize kPreviewBox{80, 50};

    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

} // namespace glimra
