// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/PixelView.h"

#include <string>

namespace glimra::capture {

// The path made absolute against the working folder, as given otherwise.
std::string absolutePath(const std::string& path);

// Why nothing could be written at path (one line, no trailing newline), or an empty string
// when its folder exists and accepts new files. Checked before grabbing, so that a bad path
// never costs the user an interactive selection.
std::string destinationProblem(const std::string& path);

// Encodes the pixels in the format the path's name announces, PNG when it announces none,
// waiting for rows that are still arriving. Empty on failure.
std::string encodeForPath(const PixelView& pixels, const std::string& path,
                          RowArrival* arrival = nullptr);

// Encodes the pixels and writes them at path, whole or not at all, even when the tool is told
// to stop meanwhile. An empty string on success; otherwise the reason, in one line.
std::string saveCapture(const PixelView& pixels, const std::string& path,
                        RowArrival* arrival = nullptr);

} // namespace glimra::capture
