// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QRectF>

#include <cstdint>
#include <optional>
#include <vector>

// Screen geometry for the capture tool. Three coordinate systems meet here:
//  - logical: what Qt reports for screens, widgets and pointer events;
//  - device: X11 root-window pixels, where every monitor sits at its native position;
//  - image: pixels of the frozen screenshot, device coordinates shifted so that the
//    desktop's top-left corner is (0,0).
// Qt keeps a screen's top-left corner unscaled and divides only its size by the device pixel
// ratio, so each monitor needs its own mapping.
namespace glimra::capture {

struct Monitor {
    QRect logical;   // QScreen::geometry()
    qreal dpr = 1.0; // QScreen::devicePixelRatio()
};

// The monitor's rectangle in device pixels.
QRect deviceRect(const Monitor& monitor);

// The smallest rectangle that holds every monitor; monitors left of or above the primary one
// give negative coordinates. Empty when there are no monitors.
QRect desktopRect(const std::vector<Monitor>& monitors);

// Maps a position inside a window (logical, as a mouse event gives it) to device pixels, given
// where the window's top-left corner sits in device pixels and the window's pixel ratio.
// Positions outside the window (a grabbed pointer on another monitor) map the same way.
QPoint localToDevice(QPointF local, QPoint windowDeviceOrigin, qreal dpr);

// The inverse for painting: where a device rectangle falls in a window's logical coordinates.
QRectF deviceToLocal(const QRect& device, QPoint windowDeviceOrigin, qreal dpr);

// Maps a global logical position to device pixels through the monitor that holds it (the
// nearest monitor when none does, so a pointer in a gap between monitors still maps).
QPoint logicalToDevice(const std::vector<Monitor>& monitors, QPointF logical);
QPointF deviceToLogical(const std::vector<Monitor>& monitors, QPoint device);

// The rectangle spanned by a drag from the pixel pressed to the pixel released: dragging
// from (100,100) to (400,300) covers 300x200 pixels, whichever way the drag went.
QRect dragRect(QPoint pressed, QPoint current);

// Whether a press and release made a selection rather than a click: a click, or a drag that
// wobbled by a pixel or two, must not end the capture with a sliver of an image.
bool isDeliberateSelection(const QRect& drag, int minimumExtent = 3);

// The part of a rectangle that lies on the desktop; empty when none does.
QRect clampToDesktop(const QRect& rect, const QRect& desktop);

// Device rectangle to image pixels, clipped to the image of the desktop.
QRect deviceToImage(const QRect& device, const QRect& desktop);

struct WindowFrame {
    std::uint32_t id = 0;
    QRect frame; // device pixels, decorations and border included
};

// The topmost frame under a device point; stacking lists run bottom to top, as X11 gives them.
std::optional<WindowFrame> windowAt(const std::vector<WindowFrame>& bottomToTop, QPoint device);

// Where the size label of a selection goes: just above its top-left corner, or inside it when
// that would leave the area (device pixels, label size given in device pixels).
QRect sizeLabelRect(const QRect& selection, QSize label, const QRect& area, int gap = 6);

} // namespace glimra::capture
