// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ui/RowDelegate.h"

namespace glimra {

class Clipboard;
class FileOpener;
class ScreenshotManager;

// Paints one row of the server list: the library copy's preview (or a cloud while there is
// none), the file name, size, capture type and upload time; while hovered, copy (only with a
// readable library copy) and delete from the server.
class ServerScreenshotRow final : public RowDelegate {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ServerScreenshotRow)
public:
    // clipboard and opener may be null: the row then neither copies nor opens.
    ServerScreenshotRow(ScreenshotManager* manager, Clipboard* clipboard, FileOpener* opener,
                        QObject* parent = nullptr);

    QList<RowButton> buttons(const QModelIndex& index) const override;
    // Share links, when the clipboard is there to take them.
    QList<RowButton> menuActions(const QModelIndex& index) const override;
    bool canOpen(const QModelIndex& index) const override;
    void perform(RowAction action, const QModelIndex& index) override;

    // Puts the picture of the file at path on the clipboard and says so for a moment.
    void copyImage(const QString& path);

protected:
    void paintContent(QPainter* painter, const QStyleOptionViewItem& option,
                      const QModelIndex& index, const QRect& previewRect,
                      const QRect& textRect) const override;

private:
    ScreenshotManager* m_manager;
    Clipboard* m_clipboard;
    FileOpener* m_opener;
};

} // namespace glimra
