// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/DialogFolderPicker.h"

#include <QFileDialog>

namespace glimra {

std::optional<QString> DialogFolderPicker::chooseFolder(const QString& prompt,
                                                        const QString& message)
{
    QFileDialog dialog(nullptr, message);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    dialog.setLabelText(QFileDialog::Accept, prompt);
    dialog.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

} // namespace glimra
