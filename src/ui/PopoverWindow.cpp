// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/PopoverWindow.h"

#include "ui/ContentView.h"

#include "library/ScreenshotManager.h"

#include <QEvent>
#include <QKeyEvent>
#include <QVBoxLayout>

namespace glimra {

PopoverWindow::PopoverWindow(const ViewServices& services, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      m_services(services), m_content(new ContentView(services, this))
{
    setObjectName(QStringLiteral("GlimraPopover"));
    setWindowTitle(QStringLiteral("Glimra"));
    setAccessibleName(QStringLiteral("Glimra"));
    setFixedSize(kContentSize);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_content);
    connect(m_content, &ContentView::pinToggled, this, &PopoverWindow::pinToggled);
    connect(m_content, &ContentView::quitRequested, this, &PopoverWindow::quitRequested);
    setPinnedLook(false);
}

void PopoverWindow::setPinnedLook(bool pinned)
{
    m_pinned = pinned;
    m_content->setPinnedLook(pinned);
}

bool PopoverWindow::event(QEvent* event)
{
    if (event->type() == QEvent::WindowDeactivate)
        Q_EMIT deactivated();
    return QWidget::event(event);
}

void PopoverWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        // Escape stops a countdown first; the popover stays to say so.
        if (m_services.screenshots->cancelDelayedCapture())
            return;
        if (!m_pinned)
            hide();
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace glimra
