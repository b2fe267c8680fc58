// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMap>
#include <QWidget>

class QAbstractButton;
class QCheckBox;
class QLabel;

namespace glimra {

class HotkeyManager;
class HotkeyRow;
class HotkeySettings;
class ScreenshotManager;
class ShortcutRecorder;

// The settings popover: shortcuts, the file-manager cut, format, folder, start at login, quit.
class SettingsView final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SettingsView)
public:
    // hotkeyManager may be null (no global shortcuts in this session); it only tells which
    // registrations another program refused.
    SettingsView(HotkeySettings* hotkeySettings, ShortcutRecorder* recorder,
                 HotkeyManager* hotkeyManager, ScreenshotManager* screenshotManager,
                 QWidget* parent = nullptr);

    // Adds the settings of another part of Glimra above "Start at login".
    void addSection(QWidget* section);

    // The row of a recorder row id ("fullscreen", "tileLeftHalf", ...), or null.
    HotkeyRow* row(const QString& rowId) const { return m_rows.value(rowId); }

Q_SIGNALS:
    // "Quit Glimra": the application shell ends the application.
    void quitRequested();

protected:
    void hideEvent(QHideEvent* event) override;

private:
    QWidget* buildContent();
    void addShortcutSection(QLayout* layout, const QString& title, const QString& subtitle,
                            int firstRow, int rowCount);
    void startRecording(const QString& rowId);
    void refreshBinding(int id);
    void refreshRecording();
    void refreshRefusals();
    void refreshFormat();
    void refreshFolder();
    void changeAutostart(bool enabled);

    HotkeySettings* m_hotkeySettings;
    ShortcutRecorder* m_recorder;
    HotkeyManager* m_hotkeyManager;
    ScreenshotManager* m_screenshotManager;
    QMap<QString, HotkeyRow*> m_rows;
    QCheckBox* m_finderCut = nullptr;
    QAbstractButton* m_png = nullptr;
    QAbstractButton* m_jpeg = nullptr;
    QLabel* m_folder = nullptr;
    QAbstractButton* m_resetFolder = nullptr;
    QCheckBox* m_autostart = nullptr;
};

} // namespace glimra
