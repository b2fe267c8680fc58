// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "CaptureGeometry.h"
#include "CaptureOptions.h"

#include <Qt>

#include <optional>
#include <vector>

namespace glimra::capture {

// What the pointer and keyboard have done so far in an interactive capture, in device pixels.
// Kept apart from the overlay windows so the rules can be tested without a display.
class SelectionModel final {
public:
    enum class Outcome { Pending, Done, Cancelled };

    // desktop: the frozen image's extent; frames: visible windows, bottom to top.
    SelectionModel(CaptureMode mode, const QRect& desktop, std::vector<WindowFrame> frames);

    void move(QPoint device);
    void press(QPoint device, Qt::MouseButton button);
    void release(QPoint device, Qt::MouseButton button);
    void cancel();

    Outcome outcome() const { return m_outcome; }
    // The captured rectangle once the outcome is Done, clipped to the desktop.
    QRect result() const { return m_result; }
    // What the overlay shows as clear: the rectangle being dragged, or the window under the
    // pointer. Empty when there is nothing to show.
    QRect highlight() const;
    bool isDragging() const { return m_dragging; }

private:
    CaptureMode m_mode;
    QRect m_desktop;
    std::vector<WindowFrame> m_frames;
    Outcome m_outcome = Outcome::Pending;
    QRect m_result;
    bool m_dragging = false;
    QPoint m_pressed;
    QPoint m_pointer;
    bool m_pointerKnown = false;
    std::optional<WindowFrame> m_pressedWindow;
};

} // namespace glimra::capture
