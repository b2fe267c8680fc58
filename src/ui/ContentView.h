// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ui/ViewServices.h"

#include <QColor>
#include <QWidget>

#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QStackedWidget;
class QTabBar;
class QToolButton;

namespace glimra {

class CaptureButton;
class InnerPopover;
class TabContent;

// The icon beside a status text: red for a failure, green for a confirmation, none else.
struct StatusIcon {
    QString symbol;
    QColor colour;
};
std::optional<StatusIcon> statusIconFor(const QString& statusMessage);

// Everything inside the popover: header with pin, settings and account, the capture buttons,
// the status line, the Local and Server tabs with their lists, and the footer.
class ContentView final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ContentView)
public:
    explicit ContentView(const ViewServices& services, QWidget* parent = nullptr);

    void setPinnedLook(bool pinned);
    bool isServerTabSelected() const;
    void selectTab(bool server);

    bool showingSettings() const;
    bool showingAccount() const;
    void toggleSettings();
    void toggleAccount();
    // The view the account popup holds now; null before it was first opened.
    QWidget* accountContent() const;

    TabContent* tabContent() const { return m_tabs; }

Q_SIGNALS:
    void pinToggled();
    void quitRequested();

private:
    QWidget* buildHeader();
    QWidget* buildCaptureRow();
    QWidget* buildFooter();
    void refreshStatus();
    void refreshShortcuts();
    void refreshFooter();
    void refreshAccountContent();

    ViewServices m_services;
    QToolButton* m_pin = nullptr;
    QToolButton* m_settingsButton = nullptr;
    QToolButton* m_accountButton = nullptr;
    QList<CaptureButton*> m_captureButtons;
    QComboBox* m_delay = nullptr;
    QPushButton* m_cancelCapture = nullptr;
    QWidget* m_statusRow = nullptr;
    QLabel* m_statusIcon = nullptr;
    QLabel* m_statusText = nullptr;
    QTabBar* m_tabBar = nullptr;
    TabContent* m_tabs = nullptr;
    QCheckBox* m_autoCopy = nullptr;
    QLabel* m_count = nullptr;
    QLabel* m_lastSync = nullptr;
    InnerPopover* m_settingsPopup = nullptr;
    InnerPopover* m_accountPopup = nullptr;
    QStackedWidget* m_accountPages = nullptr;
};

} // namespace glimra
