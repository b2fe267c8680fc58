// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ServerScreenshotRow.h"

#include "library/ScreenshotManager.h"
#include "library/ScreenshotMimeData.h"
#include "library/ServerScreenshotListModel.h"
#include "platform/Clipboard.h"
#include "platform/FileOpener.h"
#include "ui/ShareLinkActions.h"
#include "ui/Style.h"

#include <QPainter>

namespace glimra {

ServerScreenshotRow::ServerScreenshotRow(ScreenshotManager* manager, Clipboard* clipboard,
                                         FileOpener* opener, QObject* parent)
    : RowDelegate(parent), m_manager(manager), m_clipboard(clipboard), m_opener(opener)
{}

QList<RowButton> ServerScreenshotRow::buttons(const QModelIndex& index) const
{
    QList<RowButton> shown;
    if (m_clipboard && index.data(ServerScreenshotListModel::HasLocalImageRole).toBool())
        shown.append(
            {RowAction::Copy, QStringLiteral("doc.on.clipboard"), QStringLiteral("Copy Image")});
    shown.append(
        {RowAction::Delete, QStringLiteral("trash"), QStringLiteral("Delete from Server"), true});
    return shown;
}

QList<RowButton> ServerScreenshotRow::menuActions(const QModelIndex&) const
{
    return m_clipboard ? shareLinkActions() : QList<RowButton>();
}

bool ServerScreenshotRow::canOpen(const QModelIndex& index) const
{
    // Exactly when the row offers its copy: a file that is there but no picture would only
    // open into the viewer's error. The model answers from previews decoded off this thread.
    return m_opener && index.data(ServerScreenshotListModel::HasLocalImageRole).toBool();
}

void ServerScreenshotRow::perform(RowAction action, const QModelIndex& index)
{
    const QString path = index.data(ServerScreenshotListModel::LocalPathRole).toString();
    switch (action) {
    case RowAction::Open:
        if (canOpen(index))
            m_opener->open(path);
        break;
    case RowAction::Copy:
        copyImage(path);
        break;
    case RowAction::Delete:
        m_manager->deleteServerScreenshot(
            index.data(ServerScreenshotListModel::RecordRole).value<ServerScreenshot>());
        break;
    case RowAction::CopyText: // not offered: the account's copies are not read or edited
    case RowAction::Edit:
        break;
    default:
        performShareAction(
            action, index.data(ServerScreenshotListModel::RecordRole).value<ServerScreenshot>().id,
            m_manager, m_clipboard);
        break;
    }
}

void ServerScreenshotRow::copyImage(const QString& path)
{
    if (!m_clipboard)
        return;
    // The same offer as a library copy: the whole picture, encoded only when pasted.
    auto item = std::make_shared<ScreenshotItem>(QImage(), QDateTime(), SyncStatus::Synced,
                                                 std::nullopt, path, std::nullopt);
    auto data = std::make_unique<ScreenshotMimeData>(item);
    if (data->formats().isEmpty()) {
        m_manager->setStatusMessage(QStringLiteral("Screenshot too large to copy"));
        return;
    }
    m_clipboard->setMimeData(data.release());
    m_manager->showConfirmation(QStringLiteral("Copied to clipboard"));
}

void ServerScreenshotRow::paintContent(QPainter* painter, const QStyleOptionViewItem& option,
                                       const QModelIndex& index, const QRect& previewRect,
                                       const QRect& textRect) const
{
    const QWidget* widget = option.widget;
    if (!paintPreview(painter, widget, previewRect,
                      index.data(Qt::DecorationRole).value<QImage>())) {
        const int side = QFontMetrics(style::font(style::TextStyle::Title3)).height();
        style::icon(u"cloud.fill", style::secondary(widget))
            .paint(painter, QRect(previewRect.center() - QPoint(side / 2, side / 2) + QPoint(1, 1),
                                  QSize(side, side)));
    }

    const auto record = index.data(ServerScreenshotListModel::RecordRole).value<ServerScreenshot>();
    const QFont nameFont = style::font(style::TextStyle::Caption);
    const QFont detailFont = style::font(style::TextStyle::Caption2);
    const QFont uploadFont = style::systemFont(9);
    const int lineSpacing = 2;
    const int height =
        QFontMetrics(nameFont).height() + lineSpacing + QFontMetrics(detailFont).height() +
        (record.uploadedAt.isEmpty() ? 0 : lineSpacing + QFontMetrics(uploadFont).height());
    int y = textRect.top() + (textRect.height() - height) / 2;
    const auto line = [&](const QFont& font, const QColor& colour, const QString& text) {
        const QFontMetrics metrics(font);
        painter->setFont(font);
        painter->setPen(colour);
        const QRect box(textRect.left(), y, textRect.width(), metrics.height());
        painter->drawText(box, Qt::AlignLeft | Qt::AlignVCenter,
                          metrics.elidedText(text, Qt::ElideMiddle, box.width()));
        y += metrics.height() + lineSpacing;
    };
    line(nameFont, style::primary(widget), record.originalFilename);
    QString details = formattedSize(record.fileSize);
    if (!record.captureType.isEmpty())
        details += QStringLiteral("  ") + record.captureType;
    line(detailFont, style::secondary(widget), details);
    if (!record.uploadedAt.isEmpty())
        line(uploadFont, style::secondary(widget), record.uploadedAt);
}

} // namespace glimra
