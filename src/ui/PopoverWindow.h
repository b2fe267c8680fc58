// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ui/ViewServices.h"

#include <QWidget>

namespace glimra {

class ContentView;

// The window that hangs from the tray icon. It has no frame and no taskbar entry.
class PopoverWindow final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PopoverWindow)
public:
    static constexpr QSize kContentSize{360, 480};

    explicit PopoverWindow(const ViewServices& services, QWidget* parent = nullptr);

    // Also keeps Escape from closing a pinned popover, which only the tray icon, the close
    // call or an outside click after unpinning may close.
    void setPinnedLook(bool pinned);
    ContentView* contentView() const { return m_content; }

Q_SIGNALS:
    void pinToggled();
    // The window lost activation: another application got the keyboard.
    void deactivated();
    // "Quit Glimra" in the settings.
    void quitRequested();

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    ViewServices m_services;
    ContentView* m_content;
    bool m_pinned = false;
};

} // namespace glimra
