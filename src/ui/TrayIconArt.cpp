#include "ui/TrayIconArt.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace glimra {

static QPixmap drawViewfinder(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    const qreal m = s * 0.1, arm = s * 0.28;
    QPainterPath brackets;
    const QPointF corners[4] = {{m, m}, {s - m, m}, {s - m, s - m}, {m, s - m}};
    for (int i = 0; i < 4; ++i) {
        const qreal dx = (i == 0 || i == 3) ? arm : -arm;
        const qreal dy = (i < 2) ? arm : -arm;
        brackets.moveTo(corners[i] + QPointF(dx, 0));
        brackets.lineTo(corners[i]);
        brackets.lineTo(corners[i] + QPointF(0, dy));
    }
    const QRectF lens(s * 0.34, s * 0.34, s * 0.32, s * 0.32);
    brackets.addEllipse(lens);
    // A dark outline under a light stroke reads on light and dark panels alike.
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0, 0, 0, 150), s * 0.14, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(brackets);
    p.setPen(QPen(QColor(0xf2, 0xf2, 0xf2), s * 0.075, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
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
