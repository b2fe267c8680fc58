// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/x11/UsableArea.h"

#include <algorithm>

namespace glimra {

namespace {

int toInt(uint32_t v)
{
    return int(std::min<uint32_t>(v, 1u << 30));
}

bool overlaps(int start, int end, int lo, int hiExclusive)
{
    return start <= end && start < hiExclusive && end >= lo;
}

struct Edges {
    int left, top, right, bottom; // right and bottom exclusive
};

void applyStrut(Edges& e, const QRect& m, QSize screen, const Strut& s)
{
    const int mLeft = m.x(), mTop = m.y(), mRight = m.x() + m.width(), mBottom = m.y() + m.height();
    // An inner edge beyond the far side of the monitor means the panel sits on another monitor
    // further along and merely reserves across this one; it is not this monitor's panel.
    if (s.top > 0 && overlaps(s.topStartX, s.topEndX, mLeft, mRight) && s.top > mTop &&
        s.top < mBottom)
        e.top = std::max(e.top, s.top);
    if (const int inner = screen.height() - s.bottom;
        s.bottom > 0 && overlaps(s.bottomStartX, s.bottomEndX, mLeft, mRight) && inner > mTop &&
        inner < mBottom)
        e.bottom = std::min(e.bottom, inner);
    if (s.left > 0 && overlaps(s.leftStartY, s.leftEndY, mTop, mBottom) && s.left > mLeft &&
        s.left < mRight)
        e.left = std::max(e.left, s.left);
    if (const int inner = screen.width() - s.right;
        s.right > 0 && overlaps(s.rightStartY, s.rightEndY, mTop, mBottom) && inner > mLeft &&
        inner < mRight)
        e.right = std::min(e.right, inner);
}

} // namespace

std::optional<Strut> strutFromValues(std::span<const uint32_t> v, QSize screen)
{
    Strut s;
    if (v.size() >= 12) {
        s = Strut{toInt(v[0]), toInt(v[1]), toInt(v[2]), toInt(v[3]), toInt(v[4]),  toInt(v[5]),
                  toInt(v[6]), toInt(v[7]), toInt(v[8]), toInt(v[9]), toInt(v[10]), toInt(v[11])};
    } else if (v.size() >= 4) {
        const int lastX = screen.width() - 1, lastY = screen.height() - 1;
        s = Strut{toInt(v[0]), toInt(v[1]), toInt(v[2]), toInt(v[3]), 0, lastY,
                  0,           lastY,       0,           lastX,       0, lastX};
    } else {
        return std::nullopt;
    }
    return s;
}

QRect usableArea(const QRect& monitor, QSize screen, const std::optional<QList<Strut>>& struts,
                 const std::optional<QRect>& workArea, int monitorCount)
{
    Edges e{monitor.x(), monitor.y(), monitor.x() + monitor.width(),
            monitor.y() + monitor.height()};
    if (struts) {
        for (const Strut& strut : *struts)
            applyStrut(e, monitor, screen, strut);
    }
    QRect usable(e.left, e.top, e.right - e.left, e.bottom - e.top);
    if (workArea && workArea->isValid() && (!struts || monitorCount <= 1))
        usable = usable.intersected(*workArea);
    return usable.isEmpty() ? monitor : usable;
}

} // namespace glimra
