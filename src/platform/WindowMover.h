// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QRect>
#include <QtGlobal>

#include <functional>
#include <optional>

namespace glimra {

using WindowId = quint32;

// How far the window manager's decoration reaches beyond the client area on each side.
struct FrameExtents {
    int left = 0;
    int right = 0;
    int top = 0;
    int bottom = 0;
    friend bool operator==(const FrameExtents&, const FrameExtents&) = default;
};

struct ActiveWindow {
    WindowId id = 0;
    QRect frame; // the decorated window, in root coordinates (y grows downwards)
    FrameExtents extents;
};

struct Monitor {
    QRect geometry;
    QRect usable; // the part no panel or dock has reserved
    bool primary = false;
};

// Moves and resizes other applications' top-level windows. Every call asks the display
// afresh: windows, panels and monitors change between two presses of a shortcut.
class WindowMover {
public:
    // Maps the usable area of the focused window's monitor to the frame it should get.
    using Placement = std::function<QRect(const QRect& usable)>;

    virtual ~WindowMover() = default;
    // False where the session lets no program move another's windows.
    virtual bool canMove() const { return true; }
    // A compositor that keeps the windows' geometry to itself (Wayland) takes a tile as one
    // request: it finds the focused window and its monitor, applies place's frame and returns
    // at once. False from a mover that works through the calls below instead.
    virtual bool placeFocused(const Placement& place)
    {
        Q_UNUSED(place);
        return false;
    }
    // The window the user works in; none when the desktop, a panel or nothing has the focus.
    virtual std::optional<ActiveWindow> activeWindow() = 0;
    virtual QList<Monitor> monitors() = 0;
    // Asks the window manager to take the window out of its maximised or full-screen state (if
    // it is in either) and returns at once; done runs from the event loop once it has (or has
    // not within a short while), so that the frame extents read then are the restored ones.
    // A later call replaces a restore still waiting, whose done then never runs.
    virtual void unmaximize(WindowId window, std::function<void()> done) = 0;
    // client is where the client area goes, in root coordinates; extents are those of its frame.
    virtual void moveResize(WindowId window, const QRect& client, const FrameExtents& extents) = 0;
};

// For sessions where other windows cannot be moved (most Wayland desktops, no display).
class NullWindowMover final : public WindowMover {
public:
    bool canMove() const override { return false; }
    std::optional<ActiveWindow> activeWindow() override { return std::nullopt; }
    QList<Monitor> monitors() override { return {}; }
    void unmaximize(WindowId, std::function<void()> done) override { done(); }
    void moveResize(WindowId, const QRect&, const FrameExtents&) override {}
};

} // namespace glimra
