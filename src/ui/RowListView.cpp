// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/RowListView.h"

#include "ui/Style.h"

#include <QContextMenuEvent>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QScrollBar>
#include <QToolTip>

#include <algorithm>

namespace glimra {

RowListView::RowListView(RowDelegate* delegate, QWidget* parent)
    : QListView(parent), m_delegate(delegate)
{
    delegate->setParent(this);
    setItemDelegate(delegate);
    // Every row has the same height, so the view lays out thousands without asking each.
    setUniformItemSizes(true);
    setMouseTracking(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFrameShape(QFrame::NoFrame);
    setSpacing(4);
    setViewportMargins(8, 8, 8, 8);
    setContextMenuPolicy(Qt::DefaultContextMenu);
    // The rows sit on the popover's own background, as its other parts do.
    viewport()->setBackgroundRole(QPalette::Window);
    setBackgroundRole(QPalette::Window);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this,
            [this] { setHovered(m_pointer ? indexAt(*m_pointer) : QModelIndex()); });
}

void RowListView::setModel(QAbstractItemModel* model)
{
    QListView::setModel(model);
    if (!model)
        return;
    // Queued: the view lays the rows out again only after the model has told it.
    for (auto signal : {&QAbstractItemModel::rowsRemoved, &QAbstractItemModel::rowsInserted})
        connect(model, signal, this, &RowListView::rowsMovedUnderPointer, Qt::QueuedConnection);
    connect(model, &QAbstractItemModel::modelReset, this, &RowListView::rowsMovedUnderPointer,
            Qt::QueuedConnection);
    connect(model, &QAbstractItemModel::layoutChanged, this, &RowListView::rowsMovedUnderPointer,
            Qt::QueuedConnection);
}

void RowListView::rowsMovedUnderPointer()
{
    if (!model())
        return;
    doItemsLayout();
    setHovered(m_pointer ? indexAt(*m_pointer) : QModelIndex());
}

void RowListView::setHovered(const QModelIndex& index)
{
    const QModelIndex previous = m_delegate->hoveredIndex();
    if (previous == index)
        return;
    m_delegate->setHoveredIndex(index);
    if (previous.isValid())
        viewport()->update(visualRect(previous));
    if (index.isValid())
        viewport()->update(visualRect(index));
}

std::optional<RowButton> RowListView::buttonAt(QPoint position) const
{
    const QModelIndex index = indexAt(position);
    if (!index.isValid() || index != m_delegate->hoveredIndex())
        return std::nullopt;
    const QList<RowButton> buttons = m_delegate->buttons(index);
    const QRect row = visualRect(index);
    for (int i = 0; i < buttons.size(); ++i) {
        if (RowDelegate::buttonRect(row, i, static_cast<int>(buttons.size())).contains(position))
            return buttons.at(i);
    }
    return std::nullopt;
}

std::unique_ptr<QMenu> RowListView::menuFor(const QModelIndex& index)
{
    auto menu = std::make_unique<QMenu>(this);
    if (!index.isValid())
        return menu;
    const QPersistentModelIndex row(index);
    QAction* open = menu->addAction(m_delegate->openText(), this,
                                    [this, row] { perform(RowAction::Open, row); });
    open->setEnabled(m_delegate->canOpen(index));
    // The menu's own entries go before the destructive ones, which stay last.
    QList<RowButton> entries = m_delegate->buttons(index);
    const auto destructive = std::find_if(entries.begin(), entries.end(),
                                          [](const RowButton& entry) { return entry.destructive; });
    qsizetype at = destructive - entries.begin();
    for (const RowButton& entry : m_delegate->menuActions(index))
        entries.insert(at++, entry);
    QHash<QString, QMenu*> submenus;
    for (const RowButton& button : std::as_const(entries)) {
        const QIcon icon = button.destructive ? style::icon(button.symbol, style::red())
                                              : style::icon(button.symbol);
        QMenu* into = menu.get();
        if (!button.submenu.isEmpty()) {
            QMenu*& submenu = submenus[button.submenu];
            if (!submenu)
                submenu = menu->addMenu(icon, button.submenu);
            into = submenu;
        }
        into->addAction(icon, button.text, this,
                        [this, row, action = button.action] { perform(action, row); });
    }
    return menu;
}

void RowListView::perform(RowAction action, const QModelIndex& index)
{
    // A row that went away meanwhile (a sync removed it) takes its actions with it.
    if (!index.isValid())
        return;
    if (action == RowAction::Open && !m_delegate->canOpen(index))
        return;
    if (action != RowAction::Open) {
        bool offered = false;
        for (const RowButton& button : m_delegate->buttons(index) + m_delegate->menuActions(index))
            offered = offered || button.action == action;
        if (!offered)
            return;
    }
    m_delegate->perform(action, index);
}

bool RowListView::viewportEvent(QEvent* event)
{
    switch (event->type()) {
    case QEvent::Leave:
        m_pointer.reset();
        setHovered({});
        break;
    case QEvent::ToolTip: {
        const auto* help = static_cast<QHelpEvent*>(event);
        if (const auto button = buttonAt(help->pos())) {
            QToolTip::showText(help->globalPos(), button->text, viewport());
        } else {
            QToolTip::hideText();
        }
        return true;
    }
    default:
        break;
    }
    return QListView::viewportEvent(event);
}

void RowListView::mouseMoveEvent(QMouseEvent* event)
{
    m_pointer = event->position().toPoint();
    setHovered(indexAt(*m_pointer));
    QListView::mouseMoveEvent(event);
}

void RowListView::mousePressEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    m_pointer = at;
    setHovered(indexAt(at));
    if (event->button() == Qt::LeftButton) {
        if (const auto button = buttonAt(at)) {
            m_pressed.emplace(QPersistentModelIndex(indexAt(at)), button->action);
            event->accept();
            return;
        }
    }
    m_pressed.reset();
    QListView::mousePressEvent(event);
}

void RowListView::mouseReleaseEvent(QMouseEvent* event)
{
    if (m_pressed && event->button() == Qt::LeftButton) {
        const auto [row, action] = *m_pressed;
        m_pressed.reset();
        const auto button = buttonAt(event->position().toPoint());
        if (button && button->action == action && indexAt(event->position().toPoint()) == row)
            perform(action, row);
        event->accept();
        return;
    }
    QListView::mouseReleaseEvent(event);
}

void RowListView::mouseDoubleClickEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    if (event->button() == Qt::LeftButton && !buttonAt(at)) {
        perform(RowAction::Open, indexAt(at));
        event->accept();
        return;
    }
    // A quick second click on a button is a second click of that button.
    mousePressEvent(event);
}

void RowListView::keyPressEvent(QKeyEvent* event)
{
    const QModelIndex index = currentIndex();
    if (index.isValid()) {
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
            perform(RowAction::Open, index);
            return;
        }
        if (event->key() == Qt::Key_Delete) {
            perform(RowAction::Delete, index);
            return;
        }
        if (event->key() == Qt::Key_E && event->modifiers() == Qt::ControlModifier) {
            perform(RowAction::Edit, index);
            return;
        }
        if (event->matches(QKeySequence::Copy)) {
            perform(RowAction::Copy, index);
            return;
        }
    }
    QListView::keyPressEvent(event);
}

void RowListView::contextMenuEvent(QContextMenuEvent* event)
{
    // Positions reach a scroll area in its viewport's coordinates.
    const bool fromMouse = event->reason() == QContextMenuEvent::Mouse;
    const QModelIndex index = fromMouse ? indexAt(event->pos()) : currentIndex();
    if (!index.isValid())
        return;
    setCurrentIndex(index);
    const QPoint at =
        fromMouse ? event->globalPos() : viewport()->mapToGlobal(visualRect(index).center());
    menuFor(index)->exec(at);
}

} // namespace glimra
