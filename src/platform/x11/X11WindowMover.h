// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/WindowMover.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QTimer>

namespace glimra {

// Moves windows through the window manager's EWMH interface, on a connection of its own.
class X11WindowMover final : public WindowMover {
    Q_DISABLE_COPY_MOVE(X11WindowMover)
public:
    // An empty display name means $DISPLAY.
    explicit X11WindowMover(const QByteArray& displayName = {});
    ~X11WindowMover() override;
    bool isConnected() const;

    // Asks with plain configure requests even when the window manager understands the EWMH
    // move-and-resize message, the way it must for window managers that do not.
    void setPreferConfigureRequests(bool prefer) { m_preferConfigure = prefer; }

    std::optional<ActiveWindow> activeWindow() override;
    QList<Monitor> monitors() override;
    void unmaximize(WindowId window, std::function<void()> done) override;
    void moveResize(WindowId window, const QRect& client, const FrameExtents& extents) override;

private:
    struct Display;
    struct Restore {
        WindowId window;
        QSize maximized;
        bool wasFullScreen;
        std::function<void()> done;
        QElapsedTimer since;
        bool resized = false;
        std::optional<ActiveWindow> last;
    };
    // One step of a restore: the window manager answers in its own time, and the GUI thread
    // must not wait for it.
    void stepRestore();

    std::unique_ptr<Display> d;
    std::optional<Restore> m_restore;
    QTimer m_restoreTimer;
    bool m_preferConfigure = false;
};

} // namespace glimra
