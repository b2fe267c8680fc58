// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace glimra {

// Where the command socket and the instance lock live. Whoever can write there can stand in
// for Glimra and read what a client sends it (the password of `glimra login`), so it must be
// a folder that only this user can enter.
struct RuntimeFolder {
    QString path;
    // Why the folder cannot be trusted; empty when it can. Glimra must not use it then.
    QString problem;
    bool isUsable() const { return problem.isEmpty(); }
};

// $XDG_RUNTIME_DIR when the session provides one; without it, glimra-UID in the temporary
// folder, made mode 0700 when missing. A folder found there that is a link, is not ours, or
// lets anyone else in is refused rather than repaired: someone else may have made it first.
RuntimeFolder runtimeFolder();

// Empty when path is a real folder (not a link to one), owned by uid, and closed to group and
// others; otherwise what is wrong with it, in words a user can act on.
QString privateFolderProblem(const QString& path, unsigned uid);

} // namespace glimra
