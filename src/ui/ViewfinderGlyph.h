// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPainterPath>

namespace glimra {

// The camera viewfinder of the tray icon and the application icon: four corner brackets
// around a lens, in a square of side `s`. One drawing, so the two can never drift apart.
inline QPainterPath viewfinderPath(qreal s)
{
    QPainterPath path;
    const qreal m = s * 0.1, arm = s * 0.28;
    const QPointF corners[4] = {{m, m}, {s - m, m}, {s - m, s - m}, {m, s - m}};
    for (int i = 0; i < 4; ++i) {
        const qreal dx = (i == 0 || i == 3) ? arm : -arm;
        const qreal dy = (i < 2) ? arm : -arm;
        path.moveTo(corners[i] + QPointF(dx, 0));
        path.lineTo(corners[i]);
        path.lineTo(corners[i] + QPointF(0, dy));
    }
    path.addEllipse(QRectF(s * 0.34, s * 0.34, s * 0.32, s * 0.32));
    return path;
}

// Stroke widths as fractions of the side: a dark outline under a light stroke reads on light
// and dark backgrounds alike.
constexpr qreal kViewfinderOutline = 0.14;
constexpr qreal kViewfinderStroke = 0.075;

} // namespace glimra
