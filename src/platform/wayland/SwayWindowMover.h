// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/WindowMover.h"

#include <QString>

#include <memory>

class QLocalSocket;

namespace glimra {

// Tiles through sway's IPC socket: one connection per tile asks for the tree, finds the
// focused window and its workspace, and sends the command that places it. Nothing waits on
// the GUI thread; a tile asked for while another is still talking to sway replaces it.
class SwayWindowMover final : public WindowMover {
    Q_DISABLE_COPY_MOVE(SwayWindowMover)
public:
    // socketPath is sway's $SWAYSOCK.
    explicit SwayWindowMover(QString socketPath);
    ~SwayWindowMover() override;

    bool placeFocused(const Placement& place) override;
    // Each tile is one request to sway, so these are never needed.
    std::optional<ActiveWindow> activeWindow() override { return std::nullopt; }
    QList<Monitor> monitors() override { return {}; }
    void unmaximize(WindowId, std::function<void()> done) override { done(); }
    void moveResize(WindowId, const QRect&, const FrameExtents&) override {}

private:
    QString m_socketPath;
    std::unique_ptr<QLocalSocket> m_socket;
};

} // namespace glimra
