#include "ui/ScreenshotDelegate.h"

#include "library/ScreenshotListModel.h"

#include <QApplication>
#include <QDateTime>
#include <QPainter>

namespace glimra {

namespace {

constexpr int kMargin = 5;

} // namespace

void ScreenshotDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const
{
    QStyleOptionViewItem base = option;
    initStyleOption(&base, index);
    base.text.clear();
    base.icon = QIcon();
    base.features &= ~QStyleOptionViewItem::HasDecoration;
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &base, painter, widget); // background, focus

    painter->save();
    const QRect box(option.rect.left() + kMargin,
                    option.rect.top() + (option.rect.height() - kPreviewBox.height()) / 2,
                    kPreviewBox.width(), kPreviewBox.height());
    const QImage preview = index.data(Qt::DecorationRole).value<QImage>();
    if (preview.isNull()) {
        painter->setPen(option.palette.color(QPalette::Mid));
        painter->drawRect(box.adjusted(0, 0, -1, -1));
    } else {
        const QSize fitted = preview.size().scaled(box.size(), Qt::KeepAspectRatio);
        QRect target(QPoint(), fitted);
        target.moveCenter(box.center());
        painter->setRenderHint(QPainter::SmoothPixmapTransform);
        painter->drawImage(target, preview);
    }

    const bool selected = option.state & QStyle::State_Selected;
    painter->setPen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    const QRect text =
        option.rect.adjusted(box.right() + 1 + 2 * kMargin, kMargin, -kMargin, -kMargin);
    const QString date = index.data(ScreenshotListModel::DateRole)
                             .toDateTime()
                             .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    const QString lines = index.data(Qt::DisplayRole).toString() + QLatin1Char('\n') + date +
                          QStringLiteral("  ") +
                          index.data(ScreenshotListModel::SyncStatusRole).toString();
    painter->drawText(text, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, lines);
    painter->restore();
}

QSize ScreenshotDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const
{
    const int lines = 2 * option.fontMetrics.height();
    return {kPreviewBox.width() + 4 * kMargin, std::max(kPreviewBox.height(), lines) + 2 * kMargin};
}

} // namespace glimra
