// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "editor/Marks.h"

#include <QList>

namespace glimra::editor {

// The document with its undo and redo for the session: every change is a new snapshot, so
// undoing returns exactly the document as it was. Nothing of it is ever written to disk.
class MarkHistory {
public:
    const MarkDocument& current() const { return m_states[m_at]; }
    // Makes next the current document; a redo that was possible is dropped. No change when
    // next equals the current document.
    void apply(MarkDocument next);
    bool canUndo() const { return m_at > 0; }
    bool canRedo() const { return m_at + 1 < m_states.size(); }
    bool undo();
    bool redo();
    // Whether the current document differs from the one last saved (initially the empty one).
    bool isModified() const { return current() != m_saved; }
    // What was last saved; a save may finish after further changes.
    void markSaved(const MarkDocument& saved) { m_saved = saved; }

private:
    QList<MarkDocument> m_states{MarkDocument{}};
    qsizetype m_at = 0;
    MarkDocument m_saved;
};

} // namespace glimra::editor
