// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPersistentModelIndex>
#include <QStyledItemDelegate>

namespace glimra {

enum class RowAction {
    Open,
    Copy,
    Delete,
    CopyText,
    Edit,
    ShareForDay,
    ShareForWeek,
    ShareForMonth,
    ShareForever,
    Unshare,
};

// An action a row offers as a button while hovered and in its context menu.
struct RowButton {
    RowAction action;
    QString symbol;
    QString text;
    bool destructive = false;
    QString submenu = {}; // the context menu's submenu it goes in; empty: the menu itself
};

// Paints the shape both screenshot lists share: a rounded row with padding, the preview at
// the left, lines of text beside it and, on the hovered row only, its action buttons at the
// right edge. Subclasses say what the lines and the buttons are and carry out the actions.
class RowDelegate : public QStyledItemDelegate {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RowDelegate)
public:
    static constexpr QSize kPreviewBox{80, 50};
    static constexpr int kPadding = 8;
    static constexpr int kSpacing = 10;
    static constexpr int kButtonSide = 22;
    static constexpr int kButtonSpacing = 8;

    using QStyledItemDelegate::QStyledItemDelegate;

    // The row's buttons, left to right.
    virtual QList<RowButton> buttons(const QModelIndex& index) const = 0;
    // Actions the row's context menu offers after the buttons'.
    virtual QList<RowButton> menuActions(const QModelIndex&) const { return {}; }
    // A double click or Return does something on this row.
    virtual bool canOpen(const QModelIndex& index) const = 0;
    virtual void perform(RowAction action, const QModelIndex& index) = 0;
    virtual QString openText() const { return QStringLiteral("Open"); }

    void setHoveredIndex(const QModelIndex& index) { m_hovered = index; }
    QModelIndex hoveredIndex() const { return m_hovered; }
    // Where the button at position of count sits in a row's rectangle.
    static QRect buttonRect(const QRect& row, int position, int count);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const final;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

protected:
    // Paints preview and text; textRect is what is left of the row beside the preview.
    virtual void paintContent(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index, const QRect& previewRect,
                              const QRect& textRect) const = 0;
    // The picture scaled to fill the box, its overflow cut off, in rounded corners; without a
    // picture, a quiet frame of the same shape, and false.
    static bool paintPreview(QPainter* painter, const QWidget* widget, const QRect& box,
                             const QImage& image);

private:
    QPersistentModelIndex m_hovered;
};

} // namespace glimra
