// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "CaptureGeometry.h"

#include <QByteArray>

#include <vector>

namespace glimra::capture {

// The visible windows of sway's layout tree (the reply to GET_TREE), bottom to top: tiled
// windows first, floating ones above them. Frames are layout (logical) rectangles multiplied
// by scale, the device pixels of a picture of the whole layout at that scale.
std::vector<WindowFrame> swayWindowFrames(const QByteArray& treeJson, qreal scale);

// Asks the sway instance at SWAYSOCK for its tree; empty when there is none or it does not
// answer within a second.
QByteArray swayTree();

} // namespace glimra::capture
