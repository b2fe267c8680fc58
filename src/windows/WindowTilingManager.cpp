// SPDX-License-Identifier: GPL-3.0-or-later
#include "windows/WindowTilingManager.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace glimra {

namespace {

struct Tile {
    TilePosition position;
    const char* name;
    // Edges as fractions of the usable area, left to right and top to bottom (y grows down).
    double left, right, top, bottom;
};

constexpr std::array<Tile, 8> kTiles{{
    {TilePosition::LeftHalf, "left-half", 0.0, 0.5, 0.0, 1.0},
    {TilePosition::RightHalf, "right-half", 0.5, 1.0, 0.0, 1.0},
    {TilePosition::TopLeft, "top-left", 0.0, 0.5, 0.0, 0.5},
    {TilePosition::TopRight, "top-right", 0.5, 1.0, 0.0, 0.5},
    {TilePosition::BottomLeft, "bottom-left", 0.0, 0.5, 0.5, 1.0},
    {TilePosition::BottomRight, "bottom-right", 0.5, 1.0, 0.5, 1.0},
    {TilePosition::Center, "center", 0.2, 0.8, 0.2, 0.8},
    {TilePosition::Maximize, "maximize", 0.0, 1.0, 0.0, 1.0},
}};

const Tile& tileOf(TilePosition position)
{
    return kTiles[static_cast<size_t>(position)];
}

int edge(int origin, int extent, double fraction)
{
    return origin + static_cast<int>(std::lround(extent * fraction));
}

qint64 area(const QRect& r)
{
    return r.isEmpty() ? 0 : qint64(r.width()) * r.height();
}

} // namespace

QString tilePositionName(TilePosition position)
{
    return QString::fromLatin1(tileOf(position).name);
}

std::optional<TilePosition> parseTilePosition(QStringView name)
{
    for (const Tile& tile : kTiles) {
        if (name == QLatin1String(tile.name))
            return tile.position;
    }
    return std::nullopt;
}

QList<TilePosition> allTilePositions()
{
    QList<TilePosition> positions;
    for (const Tile& tile : kTiles)
        positions.append(tile.position);
    return positions;
}

QRect tileRect(const QRect& usable, TilePosition position)
{
    const Tile& tile = tileOf(position);
    const int left = edge(usable.x(), usable.width(), tile.left);
    const int right = edge(usable.x(), usable.width(), tile.right);
    const int top = edge(usable.y(), usable.height(), tile.top);
    const int bottom = edge(usable.y(), usable.height(), tile.bottom);
    return QRect(left, top, right - left, bottom - top);
}

int monitorForFrame(const QList<Monitor>& monitors, const QRect& frame)
{
    // QRect::contains already treats the right and bottom edges as outside.
    for (qsizetype i = 0; i < monitors.size(); ++i) {
        if (monitors[i].geometry.contains(frame.topLeft()))
            return int(i);
    }
    int best = -1;
    qint64 bestArea = 0;
    for (qsizetype i = 0; i < monitors.size(); ++i) {
        const qint64 overlap = area(monitors[i].geometry.intersected(frame));
        if (overlap > bestArea) {
            best = int(i);
            bestArea = overlap;
        }
    }
    if (best >= 0)
        return best;
    const auto primary =
        std::find_if(monitors.begin(), monitors.end(), [](const Monitor& m) { return m.primary; });
    if (primary != monitors.end())
        return int(primary - monitors.begin());
    return monitors.isEmpty() ? -1 : 0;
}

QRect clientRectForFrame(const QRect& frame, const FrameExtents& extents)
{
    return QRect(frame.x() + extents.left, frame.y() + extents.top,
                 std::max(1, frame.width() - extents.left - extents.right),
                 std::max(1, frame.height() - extents.top - extents.bottom));
}

void WindowTilingManager::tileWindow(TilePosition position)
{
    if (m_mover->placeFocused(
            [position](const QRect& usable) { return tileRect(usable, position); }))
        return;
    const std::optional<ActiveWindow> window = m_mover->activeWindow();
    if (!window)
        return;
    const QList<Monitor> monitors = m_mover->monitors();
    const int index = monitorForFrame(monitors, window->frame);
    if (index < 0)
        return;
    const QRect target = tileRect(monitors[index].usable, position);
    // A maximised window ignores moves, and its decoration may change once it is restored,
    // so the extents are read again afterwards; by then the user may have gone elsewhere.
    // Every tile goes this way, so that a later one replaces a restore still waiting.
    WindowMover* mover = m_mover;
    const WindowId id = window->id;
    mover->unmaximize(id, [mover, id, target] {
        const std::optional<ActiveWindow> restored = mover->activeWindow();
        if (restored && restored->id == id)
            mover->moveResize(id, clientRectForFrame(target, restored->extents), restored->extents);
    });
}

} // namespace glimra
