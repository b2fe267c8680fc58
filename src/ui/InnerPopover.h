// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFrame>
#include <QPointer>

class QAbstractButton;

namespace glimra {

// A popup that hangs from a button of the popover: it closes on a click elsewhere or Escape.
// A click on its own button while it is open only closes it, instead of closing it and
// letting the button open it again.
class InnerPopover final : public QFrame {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(InnerPopover)
public:
    InnerPopover(QAbstractButton* anchor, QWidget* content, QWidget* parent);

    // Shows it under the anchor, inside the anchor's screen.
    void popUp();
    // The content's size changed (another view took its place).
    void refit();

Q_SIGNALS:
    void dismissed();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QPointer<QAbstractButton> m_anchor;
};

} // namespace glimra
