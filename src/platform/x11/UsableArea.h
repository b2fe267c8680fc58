// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QRect>
#include <QSize>

#include <cstdint>
#include <optional>
#include <span>

namespace glimra {

// Space a panel or dock reserves along the edges of the whole root window. Each edge has a
// thickness measured from the screen's edge and the span along that edge it applies to
// (inclusive ends), as panels publish them.
struct Strut {
    int left = 0, right = 0, top = 0, bottom = 0;
    int leftStartY = 0, leftEndY = 0, rightStartY = 0, rightEndY = 0;
    int topStartX = 0, topEndX = 0, bottomStartX = 0, bottomEndX = 0;
};

// From the twelve values of a partial strut, or the four of an old-style one, which spans
// whole edges. Anything else is no strut.
std::optional<Strut> strutFromValues(std::span<const uint32_t> values, QSize screen);

// Where windows may go on one monitor. The window manager's work area is a single rectangle
// for the whole root window: with several monitors a panel on one of them, or monitors of
// different heights, take space from all of them. So with several monitors each strut is
// applied only to the monitor its inner edge lies on, and the work area is used only for a
// lone monitor (where it also carries the window manager's own margins) or when the struts
// cannot be read. Never empty: a monitor whose every pixel is reserved keeps its whole area.
QRect usableArea(const QRect& monitor, QSize screen, const std::optional<QList<Strut>>& struts,
                 const std::optional<QRect>& workArea, int monitorCount);

} // namespace glimra
