// SPDX-License-Identifier: GPL-3.0-or-later
#include "SelectionModel.h"

namespace glimra::capture {

SelectionModel::SelectionModel(CaptureMode mode, const QRect& desktop,
                               std::vector<WindowFrame> frames)
    : m_mode(mode), m_desktop(desktop), m_frames(std::move(frames))
{}

void SelectionModel::move(QPoint device)
{
    m_pointer = device;
    m_pointerKnown = true;
}

void SelectionModel::press(QPoint device, Qt::MouseButton button)
{
    if (m_outcome != Outcome::Pending)
        return;
    move(device);
    if (button == Qt::RightButton) {
        cancel();
        return;
    }
    if (button != Qt::LeftButton)
        return;
    if (m_mode == CaptureMode::Area) {
        m_dragging = true;
        m_pressed = device;
        return;
    }
    // The window is chosen where the button goes down, as a user aims with the press; the
    // release may wander without changing the choice.
    m_pressedWindow = windowAt(m_frames, device);
    if (m_pressedWindow && clampToDesktop(m_pressedWindow->frame, m_desktop).isEmpty())
        m_pressedWindow.reset();
}

void SelectionModel::release(QPoint device, Qt::MouseButton button)
{
    if (m_outcome != Outcome::Pending || button != Qt::LeftButton)
        return;
    move(device);
    if (m_mode == CaptureMode::Area) {
        if (!m_dragging)
            return;
        m_dragging = false;
        const QRect rect = clampToDesktop(dragRect(m_pressed, device), m_desktop);
        // A click or a one-pixel wobble leaves the overlay up: the user may still drag.
        if (isDeliberateSelection(rect)) {
            m_result = rect;
            m_outcome = Outcome::Done;
        }
        return;
    }
    if (!m_pressedWindow)
        return; // clicked on the bare desktop: keep waiting for a window
    m_result = clampToDesktop(m_pressedWindow->frame, m_desktop);
    m_pressedWindow.reset();
    m_outcome = Outcome::Done;
}

void SelectionModel::cancel()
{
    if (m_outcome == Outcome::Pending)
        m_outcome = Outcome::Cancelled;
}

QRect SelectionModel::highlight() const
{
    if (m_outcome == Outcome::Done)
        return m_result;
    if (m_mode == CaptureMode::Area)
        return m_dragging ? clampToDesktop(dragRect(m_pressed, m_pointer), m_desktop) : QRect();
    if (m_pressedWindow)
        return clampToDesktop(m_pressedWindow->frame, m_desktop);
    if (!m_pointerKnown)
        return {};
    const auto window = windowAt(m_frames, m_pointer);
    return window ? clampToDesktop(window->frame, m_desktop) : QRect();
}

} // namespace glimra::capture
