// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ScreenshotThumbnail.h"

#include "library/ScreenshotListModel.h"
#include "library/ScreenshotManager.h"
#include "platform/Clipboard.h"
#include "platform/FileOpener.h"
#include "text/TextManager.h"
#include "ui/LibrarySearch.h"
#include "ui/ShareLinkActions.h"
#include "ui/Style.h"
#include "ui/ViewParts.h"

#include <QFileInfo>
#include <QLocale>
#include <QMimeData>
#include <QPainter>
#include <QPointer>

namespace glimra {

namespace {

ScreenshotItemPtr itemOf(const QModelIndex& index)
{
    return index.data(ScreenshotListModel::ItemRole).value<ScreenshotItemPtr>();
}

} // namespace

QColor syncStatusColour(const QString& status)
{
    if (status == QLatin1String("syncing"))
        return style::orange();
    if (status == QLatin1String("synced"))
        return style::green();
    if (status == QLatin1String("failed"))
        return style::red();
    return {};
}

QVariant LocalRowsModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::AccessibleTextRole)
        return QIdentityProxyModel::data(index, role);
    const QDateTime date = index.data(ScreenshotListModel::DateRole).toDateTime();
    const QString status = index.data(ScreenshotListModel::SyncStatusRole).toString();
    QString name = QStringLiteral("Screenshot of ") +
                   QLocale().toString(date.date(), QLocale::LongFormat) + QStringLiteral(", ") +
                   parts::timeOfDay(date.time());
    if (status != QLatin1String("local"))
        name += QStringLiteral(", ") + status;
    return name;
}

ScreenshotThumbnail::ScreenshotThumbnail(ScreenshotManager* manager, FileOpener* opener,
                                         QObject* parent)
    : RowDelegate(parent), m_manager(manager), m_opener(opener)
{}

QList<RowButton> ScreenshotThumbnail::buttons(const QModelIndex&) const
{
    return {
        {RowAction::Copy, QStringLiteral("doc.on.clipboard"), QStringLiteral("Copy to Clipboard")},
        {RowAction::Delete, QStringLiteral("trash"), QStringLiteral("Delete"), true}};
}

void ScreenshotThumbnail::setTextServices(TextManager* texts, Clipboard* clipboard)
{
    m_texts = texts;
    m_clipboard = clipboard;
}

QList<RowButton> ScreenshotThumbnail::menuActions(const QModelIndex& index) const
{
    const bool hasFile = !index.data(ScreenshotListModel::PathRole).toString().isEmpty();
    QList<RowButton> actions;
    if (m_edit && hasFile)
        actions.append(
            {RowAction::Edit, QStringLiteral("rectangle.dashed"), QStringLiteral("Edit\u2026")});
    // A file the account holds a copy of, by name, as the last listing showed it.
    if (m_clipboard && hasFile && serverIdOf(index))
        actions += shareLinkActions();
    return actions + textActions(index);
}

std::optional<qint64> ScreenshotThumbnail::serverIdOf(const QModelIndex& index) const
{
    return serverIdNamed(
        m_manager->serverScreenshots(),
        QFileInfo(index.data(ScreenshotListModel::PathRole).toString()).fileName());
}

QList<RowButton> ScreenshotThumbnail::textActions(const QModelIndex& index) const
{
    if (!m_texts || !m_clipboard || !m_texts->isEnabled() ||
        index.data(ScreenshotListModel::PathRole).toString().isEmpty())
        return {};
    return {{RowAction::CopyText, QStringLiteral("doc.on.clipboard"), QStringLiteral("Copy Text")}};
}

bool ScreenshotThumbnail::canOpen(const QModelIndex& index) const
{
    return m_opener && !index.data(ScreenshotListModel::PathRole).toString().isEmpty();
}

void ScreenshotThumbnail::perform(RowAction action, const QModelIndex& index)
{
    const ScreenshotItemPtr item = itemOf(index);
    if (!item)
        return;
    switch (action) {
    case RowAction::Open:
        if (canOpen(index))
            m_opener->open(*item->filePath);
        break;
    case RowAction::Copy:
        m_manager->copyToClipboard(item);
        break;
    case RowAction::Delete:
        m_manager->deleteScreenshot(item);
        break;
    case RowAction::CopyText:
        copyText(*item->filePath);
        break;
    case RowAction::Edit:
        if (m_edit && item->filePath)
            m_edit(*item->filePath);
        break;
    default:
        if (const std::optional<qint64> id = serverIdOf(index))
            performShareAction(action, *id, m_manager, m_clipboard);
        break;
    }
}

void ScreenshotThumbnail::copyText(const QString& path)
{
    QPointer<ScreenshotManager> manager(m_manager);
    Clipboard* clipboard = m_clipboard;
    // A picture not read yet is read now, off this thread; the clipboard takes it after.
    m_texts->textOf(
        path, m_manager, [manager, clipboard](const QString& text, const QString& error) {
            if (!manager)
                return;
            if (text.isEmpty()) {
                manager->showConfirmation(error.isEmpty()
                                              ? QStringLiteral("No text in this screenshot")
                                              : QStringLiteral("No text read: ") + error);
                return;
            }
            auto* data = new QMimeData;
            data->setText(text);
            clipboard->setMimeData(data);
            manager->showConfirmation(QStringLiteral("Copied text to clipboard"));
        });
}

void ScreenshotThumbnail::markMatches(QPainter* painter, const QWidget* widget, const QRect& box,
                                      const QSize& picture, const QList<QRectF>& marks)
{
    if (marks.isEmpty() || picture.isEmpty())
        return;
    // The same fill and centred cut as the preview itself.
    const QSizeF size(picture);
    const qreal scale = std::max(box.width() / size.width(), box.height() / size.height());
    const QPointF shift = QPointF(box.center()) - QPointF(size.width(), size.height()) * scale / 2;
    painter->save();
    painter->setClipRect(box);
    painter->setPen(QPen(style::accent(widget), 1));
    painter->setBrush(style::accent(widget, 0.35));
    for (const QRectF& mark : marks) {
        QRectF shown(shift + QPointF(mark.x() * size.width(), mark.y() * size.height()) * scale,
                     QSizeF(mark.width() * size.width(), mark.height() * size.height()) * scale);
        // Words of a full screen are a pixel or two high in the preview: mark them visibly.
        shown.setHeight(std::max<qreal>(shown.height(), 4));
        shown.setWidth(std::max<qreal>(shown.width(), 6));
        painter->drawRect(shown);
    }
    painter->restore();
}

void ScreenshotThumbnail::paintContent(QPainter* painter, const QStyleOptionViewItem& option,
                                       const QModelIndex& index, const QRect& previewRect,
                                       const QRect& textRect) const
{
    const QWidget* widget = option.widget;
    // Still loading, the quiet frame keeps the rows from jumping when the picture arrives.
    const QImage preview = index.data(Qt::DecorationRole).value<QImage>();
    if (paintPreview(painter, widget, previewRect, preview))
        markMatches(painter, widget, previewRect, preview.size(),
                    index.data(kMatchMarksRole).value<QList<QRectF>>());

    const QDateTime date = index.data(ScreenshotListModel::DateRole).toDateTime();
    const QString status = index.data(ScreenshotListModel::SyncStatusRole).toString();
    const QColor dot = syncStatusColour(status);
    const QFont dateFont = style::font(style::TextStyle::Caption);
    const QFont timeFont = style::font(style::TextStyle::Caption2);
    const QFont statusFont = style::systemFont(9);
    const int lineSpacing = 2;
    const int height = QFontMetrics(dateFont).height() + lineSpacing +
                       QFontMetrics(timeFont).height() +
                       (dot.isValid() ? lineSpacing + QFontMetrics(statusFont).height() : 0);
    int y = textRect.top() + (textRect.height() - height) / 2;
    const auto line = [&](const QFont& font, const QColor& colour, const QString& text,
                          int indent = 0) {
        const QFontMetrics metrics(font);
        painter->setFont(font);
        painter->setPen(colour);
        const QRect box(textRect.left() + indent, y, textRect.width() - indent, metrics.height());
        painter->drawText(box, Qt::AlignLeft | Qt::AlignVCenter,
                          metrics.elidedText(text, Qt::ElideRight, box.width()));
        y += metrics.height() + lineSpacing;
        return box;
    };
    line(dateFont, style::primary(widget), QLocale().toString(date.date(), QLocale::ShortFormat));
    line(timeFont, style::secondary(widget), parts::timeOfDay(date.time()));
    if (dot.isValid()) {
        const QRect box = line(statusFont, style::secondary(widget), status, 6 + 4);
        painter->setPen(Qt::NoPen);
        painter->setBrush(dot);
        painter->drawEllipse(QRectF(textRect.left(), box.center().y() - 2.5, 6, 6));
    }
}

} // namespace glimra
