// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;

namespace glimra {

class TextManager;

// The settings of text search: the switch "Recognise text in screenshots", the language the
// text is read in, and how many screenshots are still to read.
class TextSettings final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TextSettings)
public:
    explicit TextSettings(TextManager* texts, QWidget* parent = nullptr);

    QCheckBox* enabledBox() const { return m_enabled; }
    QLabel* progress() const { return m_progress; }

private:
    void refresh();

    TextManager* m_texts;
    QCheckBox* m_enabled;
    QComboBox* m_language;
    QLabel* m_progress;
};

// A Tesseract language name as people read it: "eng" is English, "chi_sim" Chinese
// (chi_sim); a name the locale tables do not know stays as it is.
QString languageDisplayName(const QString& tesseractName);

} // namespace glimra
