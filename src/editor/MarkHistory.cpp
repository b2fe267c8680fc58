// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor/MarkHistory.h"

namespace glimra::editor {

void MarkHistory::apply(MarkDocument next)
{
    if (next == current())
        return;
    m_states.resize(m_at + 1);
    m_states.append(std::move(next));
    ++m_at;
}

bool MarkHistory::undo()
{
    if (!canUndo())
        return false;
    --m_at;
    return true;
}

bool MarkHistory::redo()
{
    if (!canRedo())
        return false;
    ++m_at;
    return true;
}

} // namespace glimra::editor
