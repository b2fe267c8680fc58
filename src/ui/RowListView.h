// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ui/RowDelegate.h"

#include <QListView>

#include <memory>
#include <optional>

class QMenu;

namespace glimra {

// A list of delegate-painted screenshot rows: no widget per row, however long the list.
// It tracks the row under the pointer for the hover buttons, turns clicks on those buttons,
// double clicks, keys (Return opens, Delete deletes, Ctrl+C copies) and the context menu
// into the delegate's actions.
class RowListView final : public QListView {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RowListView)
public:
    // Takes ownership of the delegate.
    explicit RowListView(RowDelegate* delegate, QWidget* parent = nullptr);

    RowDelegate* rowDelegate() const { return m_delegate; }
    QModelIndex hoveredIndex() const { return m_delegate->hoveredIndex(); }
    // The hover button under a point of the viewport; only the hovered row has any.
    std::optional<RowButton> buttonAt(QPoint position) const;
    // The row's actions as a menu: open, then the row's buttons.
    std::unique_ptr<QMenu> menuFor(const QModelIndex& index);

    void setModel(QAbstractItemModel* model) override;

protected:
    bool viewportEvent(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void setHovered(const QModelIndex& index);
    // Rows moved under a still pointer (a scroll, a row removed above): the hover follows
    // the pointer, not the row that was there.
    void rowsMovedUnderPointer();
    void perform(RowAction action, const QModelIndex& index);

    RowDelegate* m_delegate;
    std::optional<QPoint> m_pointer; // in the viewport, while the pointer is over it
    // The button a press went down on; it acts when the release comes on the same button.
    std::optional<std::pair<QPersistentModelIndex, RowAction>> m_pressed;
};

} // namespace glimra
