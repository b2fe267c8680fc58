// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/FileOpener.h"

namespace glimra {

class DesktopFileOpener final : public FileOpener {
public:
    bool open(const QString& path) override;
};

} // namespace glimra
