#pragma once

#include <QSettings>

#include <memory>

namespace glimra {

// Glimra's settings file, ~/.config/Glimra/Glimra.conf. The path is worked out on every call
// (QSettings' own user scope is fixed once per process), so a changed XDG_CONFIG_HOME counts.
std::unique_ptr<QSettings> openSettings();

} // namespace glimra
