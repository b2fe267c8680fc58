// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

#include <optional>

namespace glimra {

// Tells the tray's activation that merely ends a click from the one that means "open".
//
// A tray that reports no icon geometry (a StatusNotifierItem host) cannot be told apart from
// any other place on the desktop, so the press on its icon closes the popover as a click
// elsewhere, and the host's activation follows a moment later. That activation belongs to
// the same click and must leave the popover closed. A later press while the popover is
// closed is a new click, whose activation opens it again. The caller reports every press
// that happened before it asks (see GlobalMouseMonitor::deliverPending).
class PopoverDismissal {
public:
    // Longest wait seen between the press and the host's activation (release, D-Bus).
    static constexpr qint64 kActivationWindowMs = 1000;

    // The popover closed by itself: a press elsewhere or the loss of activation.
    void closedBySelf(qint64 nowMs) { m_closedAt = nowMs; }
    // A press anywhere while the popover is closed: a new click.
    void pressWhileClosed() { m_closedAt.reset(); }
    // The popover was opened or closed on purpose; nothing is pending any more.
    void reset() { m_closedAt.reset(); }
    // An activation of the tray icon while the popover is closed: true when it finishes the
    // click that closed the popover, so it must not open it again. Answers once.
    bool swallowsActivation(qint64 nowMs)
    {
        const bool swallow = m_closedAt && nowMs - *m_closedAt <= kActivationWindowMs;
        m_closedAt.reset();
        return swallow;
    }

private:
    std::optional<qint64> m_closedAt;
};

} // namespace glimra
