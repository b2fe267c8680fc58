// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/PatchedRows.h"

#include <algorithm>

namespace glimra::capture {

void PatchedRows::filterRow(int y, unsigned char* out)
{
    if (m_patches.empty()) {
        m_filter(m_image.row(y), y > 0 ? m_image.row(y - 1) : nullptr, m_image.width, out);
        return;
    }
    m_near.clear();
    for (int i = 0; i < int(m_patches.size()); ++i) {
        const PixelPatch& p = m_patches[std::size_t(i)];
        if (y >= p.y && y <= p.y + p.pixels.height)
            m_near.push_back(i * 4 + p.covers(p.x, y) + 2 * p.covers(p.x, y - 1));
    }
    if (!m_haveRuns || m_near != m_nearBefore)
        buildRuns(y);
    // A run's filter may write past its end; the next run, filtered after it, overwrites that.
    for (const Run& run : m_runs) {
        m_filter(pixelAt(run.current, run.x, y), y > 0 ? pixelAt(run.above, run.x, y - 1) : nullptr,
                 run.end - run.x, out + 3 * std::size_t(run.x));
    }
}

void PatchedRows::buildRuns(int y)
{
    std::vector<int> cuts{0, m_image.width};
    for (const int near : m_near) {
        const PixelPatch& p = m_patches[std::size_t(near / 4)];
        cuts.insert(cuts.end(), {p.x, p.x + p.pixels.width});
    }
    std::sort(cuts.begin(), cuts.end());
    cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
    // Where patches overlap, the first listed is read.
    const auto sourceOf = [this](int x, int row) {
        for (const int near : m_near) {
            if (m_patches[std::size_t(near / 4)].covers(x, row))
                return near / 4;
        }
        return -1;
    };
    m_runs.clear();
    for (std::size_t i = 0; i + 1 < cuts.size(); ++i)
        m_runs.push_back({cuts[i], cuts[i + 1], sourceOf(cuts[i], y), sourceOf(cuts[i], y - 1)});
    m_nearBefore.swap(m_near);
    m_near.clear();
    m_haveRuns = true;
}

const std::uint8_t* PatchedRows::pixelAt(int source, int x, int y) const
{
    if (source < 0)
        return m_image.row(y) + 4 * std::ptrdiff_t(x);
    const PixelPatch& p = m_patches[std::size_t(source)];
    return p.pixels.row(y - p.y) + 4 * std::ptrdiff_t(x - p.x);
}

} // namespace glimra::capture
