// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace glimra {

// Opens a file in the application the desktop associates with its type.
class FileOpener {
public:
    virtual ~FileOpener() = default;
    virtual bool open(const QString& path) = 0;
};

} // namespace glimra
