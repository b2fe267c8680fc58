// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/SettingsView.h"

#include "core/Settings.h"

#include "library/ScreenshotManager.h"
#include "platform/Autostart.h"
#include "shortcuts/HotkeyManager.h"
#include "shortcuts/HotkeySettings.h"
#include "shortcuts/ShortcutRecorder.h"
#include "ui/FormParts.h"
#include "ui/HotkeyRow.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace glimra {

using style::TextStyle;

namespace {

constexpr int kFolderTextWidth = 120;

QColor accent(const QWidget* widget)
{
    return style::accent(widget);
}

QColor secondary(const QWidget* widget)
{
    return style::secondary(widget);
}

QWidget* heading(const QString& title, const QString& subtitle, QWidget* parent)
{
    auto* box = new QWidget(parent);
    auto* lines = new QVBoxLayout(box);
    lines->setContentsMargins(0, 0, 0, 0);
    lines->setSpacing(4);
    QLabel* top = form::label(title, TextStyle::Subheadline, box);
    QFont medium = top->font();
    medium.setWeight(QFont::Medium);
    top->setFont(medium);
    lines->addWidget(top);
    if (!subtitle.isEmpty()) {
        QLabel* below = form::label(subtitle, TextStyle::Caption2, box, secondary);
        below->setWordWrap(true);
        lines->addWidget(below);
    }
    return box;
}

QAbstractButton* segment(const QString& text, form::Segment::End end, const char* name,
                         QWidget* parent)
{
    auto* button = new form::Segment(text, end, parent);
    button->setObjectName(QLatin1StringView(name));
    button->setFont(style::font(TextStyle::Caption));
    button->setFixedWidth(60);
    return button;
}

} // namespace

SettingsView::SettingsView(HotkeySettings* hotkeySettings, ShortcutRecorder* recorder,
                           HotkeyManager* hotkeyManager, ScreenshotManager* screenshotManager,
                           QWidget* parent)
    : QWidget(parent), m_hotkeySettings(hotkeySettings), m_recorder(recorder),
      m_hotkeyManager(hotkeyManager), m_screenshotManager(screenshotManager)
{
    setFixedSize(300, 600);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    scroll->setWidget(buildContent());
    outer->addWidget(scroll);

    connect(m_hotkeySettings, &HotkeySettings::bindingChanged, this, &SettingsView::refreshBinding);
    connect(m_hotkeySettings, &HotkeySettings::finderCutEnabledChanged, m_finderCut,
            [this](bool enabled) {
                const QSignalBlocker quiet(m_finderCut);
                m_finderCut->setChecked(enabled && m_finderCut->isEnabled());
            });
    connect(m_recorder, &ShortcutRecorder::recordingForChanged, this,
            &SettingsView::refreshRecording);
    if (m_hotkeyManager)
        connect(m_hotkeyManager, &HotkeyManager::registrationsChanged, this,
                &SettingsView::refreshRefusals);
    connect(m_screenshotManager, &ScreenshotManager::saveFormatChanged, this,
            &SettingsView::refreshFormat);
    connect(m_screenshotManager, &ScreenshotManager::customSaveLocationChanged, this,
            &SettingsView::refreshFolder);

    for (const HotkeyAction& action : hotkeyActions())
        refreshBinding(action.id);
    refreshRecording();
    refreshRefusals();
    refreshFormat();
    refreshFolder();
}

QWidget* SettingsView::buildContent()
{
    auto* content = new QWidget;
    auto* layout = form::popupColumn(content);

    auto* header = new QHBoxLayout;
    auto* gear = new QLabel(content);
    form::setSymbol(gear, u"gearshape", QFontMetrics(style::font(TextStyle::Title3)).height());
    header->addWidget(gear);
    header->addWidget(form::label(tr("Settings"), TextStyle::Headline, content));
    header->addStretch(1);
    layout->addLayout(header);
    layout->addWidget(form::divider(content));

    addShortcutSection(layout, tr("Screenshot Shortcuts"),
                       tr("Click a shortcut to change it, then press your new key combo"), 0, 3);
    layout->addWidget(form::divider(content));
    addShortcutSection(layout, tr("Window Tiling"),
                       tr("Tile the frontmost window to screen positions"), 3, 8);
    layout->addWidget(form::divider(content));

    layout->addWidget(heading(tr("File Manager Cut"),
                              tr("Super+X to cut files in the file manager, Super+V to move them"),
                              content));
    m_finderCut = new QCheckBox(tr("Enable File Manager Cut (Super+X)"), content);
    m_finderCut->setObjectName(QStringLiteral("finderCut"));
    m_finderCut->setFont(style::font(TextStyle::Caption));
    m_finderCut->setChecked(m_hotkeySettings->finderCutEnabled());
    connect(m_finderCut, &QCheckBox::toggled, this, [this](bool enabled) {
        m_hotkeySettings->setFinderCutEnabled(enabled);
        m_hotkeySettings->save();
    });
    if (m_hotkeyManager && !m_hotkeyManager->canInterceptKeys()) {
        // Off, not unset: the stored choice is the user's for their next X11 session.
        m_finderCut->setChecked(false);
        m_finderCut->setEnabled(false);
        m_finderCut->setText(tr("Available in X11 sessions"));
    }
    layout->addWidget(m_finderCut);
    layout->addWidget(form::divider(content));

    auto* resetAll = new form::PlainButton(tr("Reset All to Defaults"), accent, content);
    resetAll->setObjectName(QStringLiteral("resetAll"));
    resetAll->setFont(style::font(TextStyle::Caption));
    connect(resetAll, &QAbstractButton::clicked, m_hotkeySettings,
            &HotkeySettings::resetToDefaults);
    layout->addWidget(resetAll, 0, Qt::AlignLeft);
    layout->addWidget(form::divider(content));

    auto* save = new QVBoxLayout;
    save->setSpacing(8);
    save->addWidget(heading(tr("Save Settings"), QString(), content));
    auto* format = new QHBoxLayout;
    format->addWidget(form::label(tr("Format"), TextStyle::Caption, content));
    format->addStretch(1);
    m_png = segment(tr("PNG"), form::Segment::End::Leading, "png", content);
    m_jpeg = segment(tr("JPEG"), form::Segment::End::Trailing, "jpeg", content);
    format->setSpacing(0);
    format->addWidget(m_png);
    format->addWidget(m_jpeg);
    connect(m_png, &QAbstractButton::clicked, this,
            [this] { m_screenshotManager->setSaveFormat(QStringLiteral("png")); });
    connect(m_jpeg, &QAbstractButton::clicked, this,
            [this] { m_screenshotManager->setSaveFormat(QStringLiteral("jpeg")); });
    save->addLayout(format);

    auto* folder = new QHBoxLayout;
    folder->addWidget(form::label(tr("Save to"), TextStyle::Caption, content));
    folder->addStretch(1);
    m_folder = form::label(QString(), TextStyle::Caption, content, secondary);
    m_folder->setObjectName(QStringLiteral("folder"));
    m_folder->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_folder->setMaximumWidth(kFolderTextWidth);
    folder->addWidget(m_folder);
    auto* change = new QPushButton(tr("Change"), content);
    change->setObjectName(QStringLiteral("changeFolder"));
    change->setFont(style::font(TextStyle::Caption));
    change->setAutoDefault(false);
    connect(change, &QPushButton::clicked, m_screenshotManager,
            &ScreenshotManager::selectSaveFolder);
    folder->addWidget(change);
    save->addLayout(folder);

    m_resetFolder = new form::PlainButton(tr("Reset to Default"), accent, content);
    m_resetFolder->setObjectName(QStringLiteral("resetFolder"));
    m_resetFolder->setFont(style::font(TextStyle::Caption));
    connect(m_resetFolder, &QAbstractButton::clicked, this,
            [this] { m_screenshotManager->setCustomSaveLocation(std::nullopt); });
    save->addWidget(m_resetFolder, 0, Qt::AlignLeft);
    auto* openEditor = new QCheckBox(tr("Open the editor after a capture"), content);
    openEditor->setObjectName(QStringLiteral("openEditorAfterCapture"));
    openEditor->setFont(style::font(TextStyle::Caption));
    openEditor->setChecked(openSettings()->value(settings::kOpenEditorAfterCapture).toBool());
    connect(openEditor, &QCheckBox::toggled, this,
            [](bool on) { openSettings()->setValue(settings::kOpenEditorAfterCapture, on); });
    save->addWidget(openEditor);
    layout->addLayout(save);
    layout->addWidget(form::divider(content));

    m_autostart = new QCheckBox(tr("Start at login"), content);
    m_autostart->setObjectName(QStringLiteral("autostart"));
    m_autostart->setFont(style::font(TextStyle::Caption));
    m_autostart->setChecked(autostart::isEnabled());
    connect(m_autostart, &QCheckBox::toggled, this, &SettingsView::changeAutostart);
    layout->addWidget(m_autostart);
    layout->addWidget(form::divider(content));

    auto* quit = new form::PlainButton(
        tr("Quit Glimra"), [](const QWidget*) { return style::red(); }, content);
    quit->setObjectName(QStringLiteral("quit"));
    quit->setFont(style::font(TextStyle::Caption));
    connect(quit, &QAbstractButton::clicked, this, &SettingsView::quitRequested);
    layout->addWidget(quit, 0, Qt::AlignLeft);
    layout->addStretch(1);
    return content;
}

void SettingsView::addSection(QWidget* section)
{
    auto* layout = static_cast<QVBoxLayout*>(m_autostart->parentWidget()->layout());
    const int at = layout->indexOf(m_autostart);
    section->setParent(m_autostart->parentWidget());
    layout->insertWidget(at, section);
    layout->insertWidget(at + 1, form::divider(m_autostart->parentWidget()));
}

void SettingsView::addShortcutSection(QLayout* layout, const QString& title,
                                      const QString& subtitle, int firstRow, int rowCount)
{
    QWidget* content = layout->parentWidget();
    layout->addWidget(heading(title, subtitle, content));
    auto* rows = new QVBoxLayout;
    rows->setSpacing(8);
    for (int i = firstRow; i < firstRow + rowCount; ++i) {
        // Listed in id order: three captures, then eight tiling positions.
        const HotkeyAction& action = hotkeyActions()[size_t(i)];
        const QString rowId = QLatin1StringView(action.rowId);
        auto* row = new HotkeyRow(hotkeyTitle(action.id), content);
        row->setObjectName(rowId);
        connect(row, &HotkeyRow::tapped, this, [this, rowId] { startRecording(rowId); });
        m_rows.insert(rowId, row);
        rows->addWidget(row);
    }
    static_cast<QBoxLayout*>(layout)->addLayout(rows);
}

void SettingsView::startRecording(const QString& rowId)
{
    m_recorder->startRecording(rowId);
    // The recorder reads the presses typed into our own windows, so this one must have the
    // keyboard; a popover that was only clicked may not have been activated.
    if (QWidget* top = window(); top->isVisible() && !top->isActiveWindow())
        top->activateWindow();
}

void SettingsView::hideEvent(QHideEvent* event)
{
    // A recording left running would swallow the next combination typed anywhere in the
    // application, long after the user has forgotten about it.
    if (const auto& rowId = m_recorder->recordingFor(); rowId && m_rows.contains(*rowId))
        m_recorder->stopRecording();
    QWidget::hideEvent(event);
}

void SettingsView::refreshBinding(int id)
{
    for (const HotkeyAction& action : hotkeyActions()) {
        if (action.id == id) {
            if (HotkeyRow* r = row(QLatin1StringView(action.rowId)))
                r->setBinding(m_hotkeySettings->binding(id));
        }
    }
}

void SettingsView::refreshRecording()
{
    const std::optional<QString>& recording = m_recorder->recordingFor();
    for (auto it = m_rows.cbegin(); it != m_rows.cend(); ++it)
        it.value()->setRecording(recording == it.key());
}

void SettingsView::refreshRefusals()
{
    for (const HotkeyAction& action : hotkeyActions()) {
        HotkeyRow* r = row(QLatin1StringView(action.rowId));
        if (r && m_hotkeyManager)
            r->setRefusal(m_hotkeyManager->refusalReason(action.id).value_or(QString()));
    }
}

void SettingsView::refreshFormat()
{
    const bool jpeg = m_screenshotManager->saveFormat() == u"jpeg";
    m_png->setChecked(!jpeg);
    m_jpeg->setChecked(jpeg);
}

void SettingsView::refreshFolder()
{
    const std::optional<QString> custom = m_screenshotManager->customSaveLocation();
    const QString text = custom.value_or(tr("Default"));
    m_folder->setText(m_folder->fontMetrics().elidedText(text, Qt::ElideMiddle, kFolderTextWidth));
    m_folder->setToolTip(custom ? text : m_screenshotManager->defaultStorageURL());
    m_folder->setAccessibleName(tr("Save to: %1").arg(text));
    m_resetFolder->setVisible(custom.has_value());
}

void SettingsView::changeAutostart(bool enabled)
{
    const QString problem = autostart::setEnabled(enabled);
    if (problem.isEmpty())
        return;
    m_screenshotManager->showConfirmation(problem);
    const QSignalBlocker quiet(m_autostart);
    m_autostart->setChecked(autostart::isEnabled());
}

} // namespace glimra
