// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/TrayIconArt.h"

#include "ui/ViewfinderGlyph.h"

#include <QPainter>
#include <QPixmap>

namespace glimra {

static QPixmap drawViewfinder(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    const QPainterPath brackets = viewfinderPath(s);
    // A dark outline under a light stroke reads on light and dark panels alike.
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0, 0, 0, 150), s * kViewfinderOutline, Qt::SolidLine, Qt::RoundCap,
                  Qt::RoundJoin));
    p.drawPath(brackets);
    p.setPen(QPen(QColor(0xf2, 0xf2, 0xf2), s * kViewfinderStroke, Qt::SolidLine, Qt::RoundCap,
                  Qt::RoundJoin));
    p.drawPath(brackets);
    return pixmap;
}

QIcon trayIcon()
{
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 128})
        icon.addPixmap(drawViewfinder(size));
    return icon;
}

} // namespace glimra
