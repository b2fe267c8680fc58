// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/FolderPicker.h"

namespace glimra {

class DialogFolderPicker final : public FolderPicker {
public:
    std::optional<QString> chooseFolder(const QString& prompt, const QString& message) override;
};

} // namespace glimra
