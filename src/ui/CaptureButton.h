// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAbstractButton>

namespace glimra {

// One of the three capture buttons: an icon over its title and the shortcut that does the
// same, on a faint rounded tile. Title and shortcut are shown as given.
class CaptureButton final : public QAbstractButton {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CaptureButton)
public:
    CaptureButton(const QString& title, const QString& iconName, QWidget* parent = nullptr);

    QString title() const { return text(); }
    QString shortcut() const { return m_shortcut; }
    void setShortcutText(const QString& shortcut);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QString m_iconName;
    QString m_shortcut;
};

} // namespace glimra
