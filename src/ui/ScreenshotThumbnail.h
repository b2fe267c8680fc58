// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ui/RowDelegate.h"

#include <QIdentityProxyModel>

#include <functional>
#include <optional>

namespace glimra {

class Clipboard;
class FileOpener;
class ScreenshotManager;
class TextManager;

// The library model as the local list shows it: each row also gets the name a screen reader
// says, since a painted row has no widget to carry one.
class LocalRowsModel final : public QIdentityProxyModel {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LocalRowsModel)
public:
    using QIdentityProxyModel::QIdentityProxyModel;
    QVariant data(const QModelIndex& index, int role) const override;
};

// Paints one row of the local list: the preview, the date, the time and, once the item
// takes part in the sync, its state; copy and delete while hovered; a double click opens.
class ScreenshotThumbnail final : public RowDelegate {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ScreenshotThumbnail)
public:
    // opener may be null: rows then do not open.
    ScreenshotThumbnail(ScreenshotManager* manager, FileOpener* opener, QObject* parent = nullptr);

    // Both needed for "Copy Text"; without them the row does not offer it.
    void setTextServices(TextManager* texts, Clipboard* clipboard);
    // What "Edit…" does with the row's file; without it the row does not offer it.
    void setEditor(std::function<void(const QString& path)> edit) { m_edit = std::move(edit); }

    QList<RowButton> buttons(const QModelIndex& index) const override;
    QList<RowButton> menuActions(const QModelIndex& index) const override;
    QList<RowButton> textActions(const QModelIndex& index) const;
    bool canOpen(const QModelIndex& index) const override;
    void perform(RowAction action, const QModelIndex& index) override;

protected:
    void paintContent(QPainter* painter, const QStyleOptionViewItem& option,
                      const QModelIndex& index, const QRect& previewRect,
                      const QRect& textRect) const override;

private:
    void copyText(const QString& path);
    std::optional<qint64> serverIdOf(const QModelIndex& index) const;
    // The matching words of a search, over the preview in box of a picture of that size.
    static void markMatches(QPainter* painter, const QWidget* widget, const QRect& box,
                            const QSize& picture, const QList<QRectF>& marks);

    ScreenshotManager* m_manager;
    FileOpener* m_opener;
    TextManager* m_texts = nullptr;
    std::function<void(const QString& path)> m_edit;
    Clipboard* m_clipboard = nullptr;
};

// The dot colour of a sync state text; invalid for "local", which shows no sync line.
QColor syncStatusColour(const QString& status);

} // namespace glimra
