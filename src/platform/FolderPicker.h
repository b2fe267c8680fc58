// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <optional>

namespace glimra {

// Asks the user for a folder; a modal question, so tests answer it through a fake.
class FolderPicker {
public:
    virtual ~FolderPicker() = default;
    // The chosen folder's absolute path, or nothing when the user cancels.
    virtual std::optional<QString> chooseFolder(const QString& prompt, const QString& message) = 0;
};

} // namespace glimra
