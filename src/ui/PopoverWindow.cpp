#include "ui/PopoverWindow.h"

#include "library/ScreenshotListModel.h"
#include "library/ScreenshotManager.h"
#include "ui/ScreenshotDelegate.h"

#include <QCheckBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace glimra {

PopoverWindow::PopoverWindow(ScreenshotManager* screenshots, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      m_screenshots(screenshots), m_model(new ScreenshotListModel(screenshots, this)),
      m_list(new QListView(this)), m_status(new QLabel(this)), m_pin(new QToolButton(this))
{
    setObjectName(QStringLiteral("GlimraPopover"));
    setWindowTitle(QStringLiteral("Glimra"));
    setAccessibleName(QStringLiteral("Glimra"));
    setFixedSize(kContentSize);

    auto* title = new QLabel(QStringLiteral("<b>Glimra</b>"), this);
    m_pin->setCheckable(true);
    m_pin->setToolTip(QStringLiteral("Keep open"));
    connect(m_pin, &QToolButton::clicked, this, &PopoverWindow::pinToggled);
    setPinnedLook(false);

    auto* header = new QHBoxLayout;
    header->addWidget(title);
    header->addStretch();
    header->addWidget(m_pin);

    auto* buttons = new QHBoxLayout;
    const std::pair<const char*, void (ScreenshotManager::*)()> actions[] = {
        {"Full Screen", &ScreenshotManager::captureFullScreen},
        {"Area", &ScreenshotManager::captureArea},
        {"Window", &ScreenshotManager::captureWindow}};
    for (const auto& [label, action] : actions) {
        auto* button = new QPushButton(QString::fromLatin1(label), this);
        connect(button, &QPushButton::clicked, m_screenshots, action);
        buttons->addWidget(button);
    }

    auto* autoCopy = new QCheckBox(QStringLiteral("Auto Copy"), this);
    autoCopy->setChecked(m_screenshots->autoCopyEnabled());
    connect(autoCopy, &QCheckBox::toggled, m_screenshots, &ScreenshotManager::setAutoCopyEnabled);

    // Uniform rows let the view lay out thousands without asking each for its size.
    m_list->setUniformItemSizes(true);
    m_list->setItemDelegate(new ScreenshotDelegate(m_list));
    m_list->setModel(m_model);
    m_status->setWordWrap(true);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(header);
    layout->addLayout(buttons);
    layout->addWidget(m_status);
    layout->addWidget(autoCopy);
    layout->addWidget(m_list, 1);

    connect(m_screenshots, &ScreenshotManager::statusMessageChanged, this,
            &PopoverWindow::refreshStatus);
    refreshStatus();
}

void PopoverWindow::setPinnedLook(bool pinned)
{
    m_pin->setChecked(pinned);
    m_pin->setText(pinned ? QStringLiteral("Pinned") : QStringLiteral("Pin"));
}

void PopoverWindow::refreshStatus()
{
    m_status->setText(m_screenshots->statusMessage());
    m_status->setVisible(!m_screenshots->statusMessage().isEmpty());
}

bool PopoverWindow::event(QEvent* event)
{
    if (event->type() == QEvent::WindowDeactivate)
        Q_EMIT deactivated();
    return QWidget::event(event);
}

void PopoverWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        hide();
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace glimra
