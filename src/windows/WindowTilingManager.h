// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/WindowMover.h"

#include <QList>
#include <QRect>
#include <QString>
#include <QStringView>

#include <optional>

namespace glimra {

enum class TilePosition {
    LeftHalf,
    RightHalf,
    TopLeft,
    TopRight,
    BottomLeft,
    BottomRight,
    Center,
    Maximize
};

// The command-line names: "left-half", "right-half", "top-left", "top-right", "bottom-left",
// "bottom-right", "center", "maximize".
QString tilePositionName(TilePosition position);
std::optional<TilePosition> parseTilePosition(QStringView name);
QList<TilePosition> allTilePositions();

// Where the frame goes inside the usable area. Neighbouring tiles share their edges exactly,
// whatever the parity of the area, so two halves never overlap or leave a gap.
QRect tileRect(const QRect& usable, TilePosition position);

// The monitor a window belongs to: the one holding its frame's top-left corner (the left and
// top edges belong to a monitor, the right and bottom ones do not); a corner in no monitor at
// all (a frame pushed past the desktop's edge) picks the monitor the frame overlaps most, and
// only a frame on no monitor falls back to the primary. -1 when there are no monitors.
int monitorForFrame(const QList<Monitor>& monitors, const QRect& frame);

// The client area that makes the decorated frame cover exactly frame.
QRect clientRectForFrame(const QRect& frame, const FrameExtents& extents);

// Moves and resizes the active window of whichever application is in front. Holds no state:
// everything is asked of the display at each call.
class WindowTilingManager final {
    Q_DISABLE_COPY_MOVE(WindowTilingManager)
public:
    explicit WindowTilingManager(WindowMover* mover) : m_mover(mover) {}
    // False where this desktop lets no program move another's windows.
    bool isAvailable() const { return m_mover->canMove(); }
    void tileWindow(TilePosition position);

private:
    WindowMover* m_mover;
};

} // namespace glimra
