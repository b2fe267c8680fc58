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
// closed is a new click, whose activation opens it again.
class PopoverDismissal {
public:
    // Longest wait seen between the press and the host's activation (release, D-Bus).
    static constexpr qint64 kActivationWindowMs = 1000;
    // The loss of activation a press causes may be noticed before the press itself.
    static constexpr qint64 kSameClickMs = 150;

    enum class Cause { PressElsewhere, LostActivation };

    // The popover closed by itself.
    void closedBySelf(Cause cause, qint64 nowMs)
    {
        m_closedAt = nowMs;
        m_cause = cause;
    }
    // A press anywhere while the popover is closed: a new click, unless it is the one whose
    // loss of activation has just closed the popover.
    void pressWhileClosed(qint64 nowMs)
    {
        if (m_closedAt && (m_cause == Cause::PressElsewhere || nowMs - *m_closedAt > kSameClickMs))
            m_closedAt.reset();
    }
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
    Cause m_cause = Cause::PressElsewhere;
};

} // namespace glimra
