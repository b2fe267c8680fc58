// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/PixelView.h"
#include "core/UpFilter.h"

#include <span>
#include <vector>

namespace glimra::capture {

// Filters the rows of a view with patches standing in for its pixels where they lie, each row
// in runs that read one source for the row and one for the row above. Rows with the same
// patches around them reuse the runs of the row before. One per thread.
class PatchedRows final {
public:
    PatchedRows(const PixelView& image, std::span<const PixelPatch> patches, FilterRow filter)
        : m_image(image), m_patches(patches), m_filter(filter)
    {}

    // Writes row y's Up-filtered R, G, B bytes to out, which has the filter's slack after it.
    void filterRow(int y, unsigned char* out);

private:
    struct Run {
        int x = 0;
        int end = 0;
        int current = -1; // the patch it reads for the row, or -1 for the view
        int above = -1;   // the same for the row above
    };

    void buildRuns(int y);
    const std::uint8_t* pixelAt(int source, int x, int y) const;

    PixelView m_image;
    std::span<const PixelPatch> m_patches;
    FilterRow m_filter;
    std::vector<int> m_near; // the patches on this row or the one above, and which rows
    std::vector<int> m_nearBefore;
    std::vector<Run> m_runs;
    bool m_haveRuns = false;
};

} // namespace glimra::capture
