// SPDX-License-Identifier: GPL-3.0-or-later
// Draws the application icon for the desktop's icon theme: the tray icon's viewfinder on a
// rounded tile, as PNGs of the theme's sizes and as SVG, all from the one drawing of the glyph.
//
//   glimra-icons OUTPUT_DIR APP_ID
//
// writes OUTPUT_DIR/hicolor/NxN/apps/APP_ID.png and OUTPUT_DIR/hicolor/scalable/apps/APP_ID.svg.
#include "ui/ViewfinderGlyph.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QTextStream>

#include <cstdio>

using namespace glimra;

namespace {

constexpr qreal kTileMargin = 0.0625; // of the side: the theme's icons leave a little air
constexpr qreal kTileRadius = 0.2;    // of the tile
constexpr qreal kGlyphScale = 0.72;   // of the tile
const QColor kTileTop(0x45, 0x4b, 0x59);
const QColor kTileBottom(0x22, 0x25, 0x2d);
const QColor kOutline(0, 0, 0, 150);
const QColor kStroke(0xf2, 0xf2, 0xf2);

struct Layout {
    QRectF tile;
    QPointF glyphOrigin;
    qreal glyphSide;
};

Layout layoutFor(qreal side)
{
    const qreal margin = side * kTileMargin;
    const QRectF tile(margin, margin, side - 2 * margin, side - 2 * margin);
    const qreal glyph = tile.width() * kGlyphScale;
    return {tile, tile.center() - QPointF(glyph / 2, glyph / 2), glyph};
}

QImage drawPng(int side)
{
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const Layout l = layoutFor(side);
    QLinearGradient fill(l.tile.topLeft(), l.tile.bottomLeft());
    fill.setColorAt(0, kTileTop);
    fill.setColorAt(1, kTileBottom);
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    const qreal radius = l.tile.width() * kTileRadius;
    p.drawRoundedRect(l.tile, radius, radius);
    p.translate(l.glyphOrigin);
    const QPainterPath glyph = viewfinderPath(l.glyphSide);
    p.setBrush(Qt::NoBrush);
    for (const auto& [colour, width] :
         {std::pair{kOutline, kViewfinderOutline}, std::pair{kStroke, kViewfinderStroke}}) {
        p.setPen(QPen(colour, l.glyphSide * width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPath(glyph);
    }
    p.end();
    return image;
}

QString svgPathData(const QPainterPath& path)
{
    QString d;
    QTextStream out(&d);
    out.setRealNumberPrecision(5);
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        if (e.isMoveTo()) {
            out << 'M' << e.x << ' ' << e.y << ' ';
        } else if (e.isLineTo()) {
            out << 'L' << e.x << ' ' << e.y << ' ';
        } else if (e.isCurveTo() && i + 2 < path.elementCount()) {
            const QPainterPath::Element c2 = path.elementAt(i + 1);
            const QPainterPath::Element end = path.elementAt(i + 2);
            out << 'C' << e.x << ' ' << e.y << ' ' << c2.x << ' ' << c2.y << ' ' << end.x << ' '
                << end.y << ' ';
            i += 2;
        }
    }
    return d.trimmed();
}

QByteArray drawSvg()
{
    constexpr qreal side = 128;
    const Layout l = layoutFor(side);
    const qreal radius = l.tile.width() * kTileRadius;
    const QString glyph = svgPathData(viewfinderPath(l.glyphSide));
    const auto stroke = [&](const QColor& colour, qreal width) {
        return QStringLiteral("  <path d=\"%1\" fill=\"none\" stroke=\"%2\" stroke-opacity=\"%3\" "
                              "stroke-width=\"%4\" stroke-linecap=\"round\" "
                              "stroke-linejoin=\"round\" transform=\"translate(%5 %6)\"/>\n")
            .arg(glyph, colour.name())
            .arg(colour.alphaF(), 0, 'g', 3)
            .arg(l.glyphSide * width, 0, 'g', 5)
            .arg(l.glyphOrigin.x(), 0, 'g', 5)
            .arg(l.glyphOrigin.y(), 0, 'g', 5);
    };
    QString svg;
    QTextStream out(&svg);
    out << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << side << "\" height=\"" << side
        << "\" viewBox=\"0 0 " << side << ' ' << side << "\">\n"
        << "  <defs><linearGradient id=\"tile\" x1=\"0\" y1=\"0\" x2=\"0\" y2=\"1\">"
        << "<stop offset=\"0\" stop-color=\"" << kTileTop.name() << "\"/>"
        << "<stop offset=\"1\" stop-color=\"" << kTileBottom.name()
        << "\"/></linearGradient></defs>\n"
        << "  <rect x=\"" << l.tile.x() << "\" y=\"" << l.tile.y() << "\" width=\""
        << l.tile.width() << "\" height=\"" << l.tile.height() << "\" rx=\"" << radius
        << "\" fill=\"url(#tile)\"/>\n"
        << stroke(kOutline, kViewfinderOutline) << stroke(kStroke, kViewfinderStroke) << "</svg>\n";
    return svg.toUtf8();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(path.section(QLatin1Char('/'), 0, -2));
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: glimra-icons OUTPUT_DIR APP_ID\n");
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[1]) + QStringLiteral("/hicolor/");
    const QString name = QStringLiteral("/apps/") + QString::fromLocal8Bit(argv[2]);
    for (int side : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString path = root + QStringLiteral("%1x%1").arg(side) + name + u".png";
        QDir().mkpath(path.section(QLatin1Char('/'), 0, -2));
        if (!drawPng(side).save(path, "PNG")) {
            std::fprintf(stderr, "glimra-icons: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    const QString svg = root + QStringLiteral("scalable") + name + u".svg";
    if (!writeFile(svg, drawSvg())) {
        std::fprintf(stderr, "glimra-icons: cannot write %s\n", qPrintable(svg));
        return 1;
    }
    return 0;
}
