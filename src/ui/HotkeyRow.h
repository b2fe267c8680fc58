// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "shortcuts/HotkeyBinding.h"

#include <QAbstractButton>
#include <QWidget>

class QLabel;

namespace glimra {

// The button of a shortcut row: the combination in a small monospaced chip, or
// "Press keys..." with an accent outline while the row is being recorded.
class ShortcutButton final : public QAbstractButton {
    Q_OBJECT
public:
    explicit ShortcutButton(QWidget* parent = nullptr);
    void setRecording(bool recording);
    bool isRecording() const { return m_recording; }
    QSize sizeHint() const override;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    bool m_recording = false;
};

// One shortcut of the settings view: its name on the left, its combination on the right.
class HotkeyRow final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HotkeyRow)
public:
    explicit HotkeyRow(const QString& label, QWidget* parent = nullptr);

    void setBinding(const HotkeyBinding& binding);
    void setRecording(bool recording);
    // Why the combination holds no keys, as the row says it; empty when it holds them.
    void setRefusal(const QString& reason);

    QString buttonText() const;
    bool isRecording() const;
    bool isRefused() const { return !m_refusal.isEmpty(); }

Q_SIGNALS:
    void tapped();

private:
    void refreshButton();

    QString m_label;
    HotkeyBinding m_binding;
    QString m_refusal;
    ShortcutButton* m_button;
    QLabel* m_refusedNote;
};

} // namespace glimra
