// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/InnerPopover.h"

#include <QAbstractButton>
#include <QLayout>
#include <QMouseEvent>
#include <QScreen>
#include <QVBoxLayout>

namespace glimra {

InnerPopover::InnerPopover(QAbstractButton* anchor, QWidget* content, QWidget* parent)
    : QFrame(parent, Qt::Popup), m_anchor(anchor)
{
    setFrameShape(QFrame::StyledPanel);
    setAccessibleName(anchor->accessibleName());
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->addWidget(content);
}

void InnerPopover::refit()
{
    // The new content's size is known only once the layout has run again.
    layout()->activate();
    adjustSize();
    if (isVisible())
        popUp();
}

void InnerPopover::popUp()
{
    adjustSize();
    QPoint at =
        m_anchor ? m_anchor->mapToGlobal(QPoint(m_anchor->width() / 2, m_anchor->height())) : pos();
    at.rx() -= width() / 2;
    QScreen* screen = m_anchor ? m_anchor->screen() : nullptr;
    if (screen) {
        const QRect area = screen->availableGeometry();
        at.setX(std::clamp(at.x(), area.left(), std::max(area.left(), area.right() + 1 - width())));
        at.setY(std::clamp(at.y(), area.top(), std::max(area.top(), area.bottom() + 1 - height())));
    }
    move(at);
    show();
    raise();
    activateWindow();
    // The keyboard starts at the popup's first control, as in a menu or a dialog, so it can be
    // used without the mouse and a screen reader says where it is.
    if (QWidget* focus = focusWidget(); !focus || !focus->isVisible())
        focusNextChild();
}

void InnerPopover::mousePressEvent(QMouseEvent* event)
{
    const QPoint global = event->globalPosition().toPoint();
    if (!rect().contains(event->position().toPoint()) && m_anchor &&
        m_anchor->rect().contains(m_anchor->mapFromGlobal(global)))
        setAttribute(Qt::WA_NoMouseReplay);
    QFrame::mousePressEvent(event);
}

void InnerPopover::hideEvent(QHideEvent* event)
{
    QFrame::hideEvent(event);
    setAttribute(Qt::WA_NoMouseReplay, false);
    Q_EMIT dismissed();
}

} // namespace glimra
