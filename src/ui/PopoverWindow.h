#pragma once

#include <QWidget>

class QLabel;
class QListView;
class QToolButton;

namespace glimra {

class ScreenshotListModel;
class ScreenshotManager;

// The window that hangs from the tray icon. It has no frame and no taskbar entry.
class PopoverWindow final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PopoverWindow)
public:
    static constexpr QSize kContentSize{360, 480};

    explicit PopoverWindow(ScreenshotManager* screenshots, QWidget* parent = nullptr);

    void setPinnedLook(bool pinned);

Q_SIGNALS:
    void pinToggled();
    // The window lost activation: another application got the keyboard.
    void deactivated();

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void refreshStatus();

    ScreenshotManager* m_screenshots;
    ScreenshotListModel* m_model;
    QListView* m_list;
    QLabel* m_status;
    QToolButton* m_pin;
};

} // namespace glimra
