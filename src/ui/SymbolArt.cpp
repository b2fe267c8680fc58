// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/SymbolArt.h"

#include <QApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QPixmap>

#include <cmath>
#include <functional>

namespace glimra::style {

namespace {

// Every drawing works in a 16 by 16 box; the engine scales it to the requested size.
using Draw = std::function<void(QPainter&, const QColor&)>;

QPen strokePen(const QColor& colour, qreal width = 1.4)
{
    return QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// Cuts a shape out of what is already drawn, for the "fill" symbols with marks inside.
void cutOut(QPainter& p, const std::function<void()>& shape)
{
    p.save();
    p.setCompositionMode(QPainter::CompositionMode_Clear);
    shape();
    p.restore();
}

// A filled disc with a mark cut out of it: the "circle.fill" symbols.
void discWithMark(QPainter& p, const QColor& colour, const std::function<void()>& mark)
{
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawEllipse(QRectF(0.5, 0.5, 15, 15));
    cutOut(p, mark);
}

QPainterPath cloudPath()
{
    // One outline around the puffs, not the outlines of every puff.
    const auto ellipse = [](const QRectF& box) {
        QPainterPath path;
        path.addEllipse(box);
        return path;
    };
    QPainterPath base;
    base.addRoundedRect(QRectF(4, 8.5, 8.5, 4), 1, 1);
    return base.united(ellipse(QRectF(2, 6.5, 6, 6)))
        .united(ellipse(QRectF(5, 3.5, 7, 7)))
        .united(ellipse(QRectF(9, 6, 5.5, 5.5)));
}

void drawPin(QPainter& p, const QColor& c, bool filled)
{
    p.setPen(strokePen(c));
    p.setBrush(filled ? QBrush(c) : Qt::NoBrush);
    QPainterPath head;
    head.moveTo(5.5, 2);
    head.lineTo(10.5, 2);
    head.lineTo(10, 3.5);
    head.lineTo(11.5, 8);
    head.lineTo(4.5, 8);
    head.lineTo(6, 3.5);
    head.closeSubpath();
    p.drawPath(head);
    p.drawLine(QPointF(8, 8), QPointF(8, 14));
}

const QHash<QString, Draw>& drawings()
{
    static const QHash<QString, Draw> table = {
        {QStringLiteral("camera.viewfinder"),
         [](QPainter& p, const QColor& c) {
             p.setPen(strokePen(c));
             const QPointF corners[4][3] = {{{1.5, 5}, {1.5, 1.5}, {5, 1.5}},
                                            {{11, 1.5}, {14.5, 1.5}, {14.5, 5}},
                                            {{14.5, 11}, {14.5, 14.5}, {11, 14.5}},
                                            {{5, 14.5}, {1.5, 14.5}, {1.5, 11}}};
             for (const auto& corner : corners)
                 p.drawPolyline(corner, 3);
             p.drawRoundedRect(QRectF(4, 5.5, 8, 6), 1.2, 1.2);
             p.drawEllipse(QPointF(8, 8.5), 1.6, 1.6);
         }},
        {QStringLiteral("pin"), [](QPainter& p, const QColor& c) { drawPin(p, c, false); }},
        {QStringLiteral("pin.fill"), [](QPainter& p, const QColor& c) { drawPin(p, c, true); }},
        {QStringLiteral("gearshape"),
         [](QPainter& p, const QColor& c) {
             QPainterPath gear;
             // Eight teeth: each is two outer corners followed by two inner ones.
             for (int i = 0; i < 32; ++i) {
                 const qreal angle = (i - 0.5) * M_PI / 16;
                 const qreal radius = (i / 2) % 2 == 0 ? 7.2 : 5.6;
                 const QPointF at(8 + radius * std::cos(angle), 8 + radius * std::sin(angle));
                 i == 0 ? gear.moveTo(at) : gear.lineTo(at);
             }
             gear.closeSubpath();
             QPainterPath hole;
             hole.addEllipse(QPointF(8, 8), 2.4, 2.4);
             p.setPen(Qt::NoPen);
             p.setBrush(c);
             p.drawPath(gear.subtracted(hole));
         }},
        {QStringLiteral("person.circle.fill"),
         [](QPainter& p, const QColor& c) {
             discWithMark(p, c, [&p] {
                 p.setBrush(Qt::black);
                 p.drawEllipse(QPointF(8, 6.2), 2.7, 2.7);
                 QPainterPath body;
                 body.moveTo(3.2, 13.2);
                 body.cubicTo(4, 9.5, 12, 9.5, 12.8, 13.2);
                 body.cubicTo(11.5, 14.5, 4.5, 14.5, 3.2, 13.2);
                 p.drawPath(body);
             });
         }},
        {QStringLiteral("rectangle"),
         [](QPainter& p, const QColor& c) {
             p.setPen(strokePen(c));
             p.drawRoundedRect(QRectF(1.5, 3.5, 13, 9), 1.5, 1.5);
         }},
        {QStringLiteral("rectangle.dashed"),
         [](QPainter& p, const QColor& c) {
             QPen pen = strokePen(c);
             pen.setCapStyle(Qt::FlatCap);
             pen.setDashPattern({2, 1.5});
             p.setPen(pen);
             p.drawRoundedRect(QRectF(1.5, 3.5, 13, 9), 1.5, 1.5);
         }},
        {QStringLiteral("photo.on.rectangle.angled"),
         [](QPainter& p, const QColor& c) {
             p.setPen(strokePen(c, 1.2));
             p.save();
             p.translate(8, 8);
             p.rotate(-10);
             p.drawRoundedRect(QRectF(-7, -6, 11, 8.5), 1.2, 1.2);
             p.restore();
             p.setBrush(QApplication::palette().color(QPalette::Window));
             p.drawRoundedRect(QRectF(4, 5, 11, 8.5), 1.2, 1.2);
             p.setBrush(c);
             p.setPen(Qt::NoPen);
             const QPointF hills[] = {{5, 12.5}, {8, 9}, {10, 11}, {11.5, 9.8}, {14, 12.5}};
             p.drawPolygon(hills, 5);
             p.drawEllipse(QPointF(12, 7.3), 1, 1);
         }},
        {QStringLiteral("exclamationmark.circle.fill"),
         [](QPainter& p, const QColor& c) {
             discWithMark(p, c, [&p] {
                 p.setBrush(Qt::black);
                 p.drawRoundedRect(QRectF(7, 3.5, 2, 6), 1, 1);
                 p.drawEllipse(QPointF(8, 11.8), 1.1, 1.1);
             });
         }},
        {QStringLiteral("checkmark.circle.fill"),
         [](QPainter& p, const QColor& c) {
             discWithMark(p, c, [&p] {
                 p.setPen(QPen(Qt::black, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
                 p.setBrush(Qt::NoBrush);
                 const QPointF tick[] = {{4.6, 8.2}, {7, 10.6}, {11.4, 5.6}};
                 p.drawPolyline(tick, 3);
             });
         }},
        {QStringLiteral("cloud"),
         [](QPainter& p, const QColor& c) {
             p.setPen(strokePen(c, 1.2));
             p.drawPath(cloudPath());
         }},
        {QStringLiteral("cloud.fill"),
         [](QPainter& p, const QColor& c) {
             p.setPen(Qt::NoPen);
             p.setBrush(c);
             p.drawPath(cloudPath());
         }},
        {QStringLiteral("arrow.clockwise"),
         [](QPainter& p, const QColor& c) {
             p.setPen(strokePen(c, 1.5));
             p.drawArc(QRectF(2.5, 2.5, 11, 11), 100 * 16, 300 * 16);
             p.setPen(Qt::NoPen);
             p.setBrush(c);
             const QPointF head[] = {{8.5, 0.3}, {11.8, 2.9}, {8.5, 5.3}};
             p.drawPolygon(head, 3);
         }},
        {QStringLiteral("doc.on.clipboard"),
         [](QPainter& p, const QColor& c) {
             p.setPen(strokePen(c, 1.2));
             p.drawRoundedRect(QRectF(2.5, 2.5, 11, 12.5), 1.5, 1.5);
             p.setBrush(c);
             p.drawRoundedRect(QRectF(5.5, 1, 5, 3), 1, 1);
             p.drawLine(QPointF(5, 8), QPointF(11, 8));
             p.drawLine(QPointF(5, 11), QPointF(9.5, 11));
         }},
        {QStringLiteral("trash"),
         [](QPainter& p, const QColor& c) {
             p.setPen(strokePen(c, 1.2));
             p.drawLine(QPointF(2, 3.8), QPointF(14, 3.8));
             p.drawPolyline(QPolygonF({{6, 3.8}, {6, 1.8}, {10, 1.8}, {10, 3.8}}));
             p.drawPolyline(QPolygonF({{3.5, 3.8}, {4.4, 14.5}, {11.6, 14.5}, {12.5, 3.8}}));
             p.drawLine(QPointF(6.5, 6.5), QPointF(6.8, 12));
             p.drawLine(QPointF(9.5, 6.5), QPointF(9.2, 12));
         }},
    };
    return table;
}

class SymbolEngine final : public QIconEngine {
public:
    SymbolEngine(Draw draw, QColor tint) : m_draw(std::move(draw)), m_tint(tint) {}

    QIconEngine* clone() const override { return new SymbolEngine(m_draw, m_tint); }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override
    {
        QColor colour =
            m_tint.isValid() ? m_tint : QApplication::palette().color(QPalette::WindowText);
        if (mode == QIcon::Disabled)
            colour.setAlphaF(colour.alphaF() * 0.4);
        const qreal side = std::min(rect.width(), rect.height());
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->translate(rect.x() + (rect.width() - side) / 2.0,
                           rect.y() + (rect.height() - side) / 2.0);
        painter->scale(side / 16.0, side / 16.0);
        m_draw(*painter, colour);
        painter->restore();
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return scaledPixmap(size, mode, state, 1.0);
    }

    // The size comes in device pixels; the drawing fills all of them, so a scale of 2 gets
    // twice the detail rather than a stretched small picture.
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state,
                         qreal scale) override
    {
        QPixmap pixmap(size);
        pixmap.fill(Qt::transparent);
        {
            QPainter painter(&pixmap);
            paint(&painter, QRect(QPoint(), size), mode, state);
        }
        pixmap.setDevicePixelRatio(scale);
        return pixmap;
    }

    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override { return size; }

private:
    Draw m_draw;
    QColor m_tint;
};

} // namespace

bool hasSymbolArt(QStringView symbolName)
{
    return drawings().contains(symbolName.toString());
}

QIcon symbolArt(QStringView symbolName, const QColor& tint)
{
    const Draw draw = drawings().value(symbolName.toString(), [](QPainter& p, const QColor& c) {
        p.setPen(strokePen(c));
        p.drawRoundedRect(QRectF(2.5, 2.5, 11, 11), 2, 2);
    });
    return QIcon(new SymbolEngine(draw, tint));
}

} // namespace glimra::style
