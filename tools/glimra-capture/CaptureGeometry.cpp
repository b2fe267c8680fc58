// SPDX-License-Identifier: GPL-3.0-or-later
#include "CaptureGeometry.h"

#include <cmath>
#include <limits>

namespace glimra::capture {

QRect deviceRect(const Monitor& monitor)
{
    const QRect& l = monitor.logical;
    return QRect(l.topLeft(), QSize(static_cast<int>(std::lround(l.width() * monitor.dpr)),
                                    static_cast<int>(std::lround(l.height() * monitor.dpr))));
}

QRect desktopRect(const std::vector<Monitor>& monitors)
{
    QRect united;
    for (const Monitor& m : monitors)
        united = united.united(deviceRect(m));
    return united;
}

QPoint localToDevice(QPointF local, QPoint windowDeviceOrigin, qreal dpr)
{
    // Qt derived the logical position by dividing a whole device position, so rounding the
    // product recovers that pixel exactly.
    return windowDeviceOrigin + QPoint(static_cast<int>(std::lround(local.x() * dpr)),
                                       static_cast<int>(std::lround(local.y() * dpr)));
}

QRectF deviceToLocal(const QRect& device, QPoint windowDeviceOrigin, qreal dpr)
{
    const QPointF offset = device.topLeft() - windowDeviceOrigin;
    return QRectF(offset / dpr, QSizeF(device.width() / dpr, device.height() / dpr));
}

namespace {

// Distance (squared) from a point to a rectangle, zero inside it.
qreal distanceSquared(const QRectF& r, QPointF p)
{
    const qreal dx = std::max({r.left() - p.x(), 0.0, p.x() - r.right()});
    const qreal dy = std::max({r.top() - p.y(), 0.0, p.y() - r.bottom()});
    return dx * dx + dy * dy;
}

template <typename RectOf, typename Point>
const Monitor* closestMonitor(const std::vector<Monitor>& monitors, Point p, RectOf rectOf)
{
    const Monitor* best = nullptr;
    qreal bestDistance = std::numeric_limits<qreal>::max();
    for (const Monitor& m : monitors) {
        const QRectF r = rectOf(m);
        // Half-open containment: a point on the shared edge belongs to the right/lower monitor.
        if (p.x() >= r.left() && p.x() < r.left() + r.width() && p.y() >= r.top() &&
            p.y() < r.top() + r.height())
            return &m;
        const qreal d = distanceSquared(r, p);
        if (d < bestDistance) {
            bestDistance = d;
            best = &m;
        }
    }
    return best;
}

} // namespace

QPoint logicalToDevice(const std::vector<Monitor>& monitors, QPointF logical)
{
    const Monitor* m =
        closestMonitor(monitors, logical, [](const Monitor& mon) { return QRectF(mon.logical); });
    if (!m)
        return logical.toPoint();
    return localToDevice(logical - m->logical.topLeft(), m->logical.topLeft(), m->dpr);
}

QPointF deviceToLogical(const std::vector<Monitor>& monitors, QPoint device)
{
    const Monitor* m = closestMonitor(monitors, QPointF(device),
                                      [](const Monitor& mon) { return QRectF(deviceRect(mon)); });
    if (!m)
        return QPointF(device);
    return QPointF(m->logical.topLeft()) + QPointF(device - m->logical.topLeft()) / m->dpr;
}

QRect dragRect(QPoint pressed, QPoint current)
{
    const int left = std::min(pressed.x(), current.x());
    const int top = std::min(pressed.y(), current.y());
    return QRect(left, top, std::abs(current.x() - pressed.x()),
                 std::abs(current.y() - pressed.y()));
}

bool isDeliberateSelection(const QRect& drag, int minimumExtent)
{
    return drag.width() >= 1 && drag.height() >= 1 &&
           std::max(drag.width(), drag.height()) >= minimumExtent;
}

QRect clampToDesktop(const QRect& rect, const QRect& desktop)
{
    const QRect clipped = rect.intersected(desktop);
    return clipped.isValid() ? clipped : QRect();
}

QRect deviceToImage(const QRect& device, const QRect& desktop)
{
    const QRect clipped = clampToDesktop(device, desktop);
    if (clipped.isEmpty())
        return QRect();
    return clipped.translated(-desktop.topLeft());
}

std::optional<WindowFrame> windowAt(const std::vector<WindowFrame>& bottomToTop, QPoint device)
{
    for (auto it = bottomToTop.rbegin(); it != bottomToTop.rend(); ++it) {
        if (it->frame.contains(device))
            return *it;
    }
    return std::nullopt;
}

QRect sizeLabelRect(const QRect& selection, QSize label, const QRect& area, int gap)
{
    QRect r(QPoint(selection.left(), selection.top() - gap - label.height()), label);
    if (r.top() < area.top())
        r.moveTop(selection.top() + gap); // no room above: tuck it inside the selection
    if (r.right() > area.right())
        r.moveRight(area.right());
    if (r.left() < area.left())
        r.moveLeft(area.left());
    if (r.bottom() > area.bottom())
        r.moveBottom(area.bottom());
    return r;
}

} // namespace glimra::capture
