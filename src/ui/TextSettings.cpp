// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/TextSettings.h"

#include "text/TextLanguages.h"
#include "text/TextManager.h"
#include "ui/FormParts.h"
#include "ui/Style.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QVBoxLayout>

namespace glimra {

QString languageDisplayName(const QString& tesseractName)
{
    const QString code = tesseractName.section(QLatin1Char('_'), 0, 0);
    const QLocale::Language language =
        QLocale::codeToLanguage(code, QLocale::ISO639Part2 | QLocale::ISO639Part1);
    if (language == QLocale::AnyLanguage || language == QLocale::C)
        return tesseractName;
    const QString name = QLocale::languageToString(language);
    return code == tesseractName ? name : QStringLiteral("%1 (%2)").arg(name, tesseractName);
}

TextSettings::TextSettings(TextManager* texts, QWidget* parent)
    : QWidget(parent), m_texts(texts),
      m_enabled(new QCheckBox(tr("Recognise text in screenshots"), this)),
      m_language(new QComboBox(this)),
      m_progress(form::label(QString(), style::TextStyle::Caption2, this,
                             [](const QWidget* w) { return style::secondary(w); }))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    QLabel* title = form::label(tr("Text Search"), style::TextStyle::Subheadline, this);
    QFont medium = title->font();
    medium.setWeight(QFont::Medium);
    title->setFont(medium);
    layout->addWidget(title);
    QLabel* hint = form::label(
        tr("Find screenshots by the words in them; read on this computer only"),
        style::TextStyle::Caption2, this, [](const QWidget* w) { return style::secondary(w); });
    hint->setWordWrap(true);
    layout->addWidget(hint);

    m_enabled->setObjectName(QStringLiteral("recogniseText"));
    m_enabled->setFont(style::font(style::TextStyle::Caption));
    layout->addWidget(m_enabled);

    auto* languageRow = new QHBoxLayout;
    languageRow->addWidget(form::label(tr("Language"), style::TextStyle::Caption, this));
    languageRow->addStretch();
    m_language->setObjectName(QStringLiteral("textLanguage"));
    m_language->setAccessibleName(tr("Text language"));
    m_language->setFont(style::font(style::TextStyle::Caption));
    for (const QString& name : text::installedLanguages())
        m_language->addItem(languageDisplayName(name), name);
    languageRow->addWidget(m_language);
    layout->addLayout(languageRow);

    m_progress->setObjectName(QStringLiteral("textProgress"));
    m_progress->setWordWrap(true);
    layout->addWidget(m_progress);

    connect(m_enabled, &QCheckBox::toggled, texts, &TextManager::setEnabled);
    connect(m_language, &QComboBox::activated, this,
            [this] { m_texts->setLanguage(m_language->currentData().toString()); });
    connect(texts, &TextManager::enabledChanged, this, &TextSettings::refresh);
    connect(texts, &TextManager::pendingChanged, this, &TextSettings::refresh);
    refresh();
}

void TextSettings::refresh()
{
    {
        const QSignalBlocker quiet(m_enabled);
        m_enabled->setChecked(m_texts->isEnabled());
    }
    m_language->setEnabled(m_texts->isEnabled());
    m_language->setCurrentIndex(m_language->findData(m_texts->language()));
    QString progress;
    if (m_texts->isEnabled() && !m_texts->unavailableReason().isEmpty())
        progress = tr("Cannot read text: %1").arg(m_texts->unavailableReason());
    else if (m_texts->pending() > 0)
        progress = tr("Reading text: %1 left").arg(QLocale().toString(m_texts->pending()));
    m_progress->setText(progress);
    m_progress->setVisible(!progress.isEmpty());
}

} // namespace glimra
