#pragma once

#include <QString>

namespace glimra {

// A program of Glimra's own that it runs: beside the running executable (a build folder, or
// a user-facing tool installed in the same bin folder), else in ../libexec/glimra, where the
// helpers nobody runs by hand are installed.
QString helperProgram(const QString& name);

} // namespace glimra
