// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/HotkeyRow.h"

#include "ui/FormParts.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

namespace glimra {

namespace {
constexpr int kPadX = 8;
constexpr int kPadY = 4;
constexpr qreal kRadius = 4;
} // namespace

ShortcutButton::ShortcutButton(QWidget* parent) : QAbstractButton(parent)
{
    // A little smaller than body text, as a ratio of the desktop's font rather than a fixed
    // size, so the chip never outgrows the row's name in the popover's narrow width.
    const qreal body = style::font(style::TextStyle::Body).pointSizeF();
    setFont(style::systemFont((body > 0 ? body : 10.0) * 11.0 / 13.0, true));
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
}

void ShortcutButton::setRecording(bool recording)
{
    if (m_recording == recording)
        return;
    m_recording = recording;
    update();
}

bool ShortcutButton::event(QEvent* event)
{
    // While recording, a combination that is also an application shortcut (Ctrl+C in the
    // popover) must arrive as a key press for the recorder, not run that shortcut.
    if (event->type() == QEvent::ShortcutOverride && m_recording) {
        event->accept();
        return true;
    }
    return QAbstractButton::event(event);
}

QSize ShortcutButton::sizeHint() const
{
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance(text()) + 2 * kPadX, metrics.height() + 2 * kPadY};
}

void ShortcutButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath shape;
    shape.addRoundedRect(box, kRadius, kRadius);
    const bool hover = underMouse() && !m_recording;
    painter.fillPath(shape, m_recording ? style::accent(this, 0.2)
                                        : style::primary(this, hover ? 0.14 : 0.08));
    if (m_recording || hasFocus()) {
        painter.setPen(QPen(style::accent(this), 1));
        painter.drawPath(shape);
    }
    painter.setPen(style::primary(this));
    painter.drawText(rect(), Qt::AlignCenter, text());
}

HotkeyRow::HotkeyRow(const QString& label, QWidget* parent)
    : QWidget(parent), m_label(label), m_button(new ShortcutButton(this))
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* names = new QVBoxLayout;
    names->setSpacing(0);
    names->addWidget(form::label(label, style::TextStyle::Caption, this));
    m_refusedNote = form::label(QString(), style::TextStyle::Caption2, this,
                                [](const QWidget*) { return style::orange(); });
    m_refusedNote->setObjectName(QStringLiteral("refusedNote"));
    m_refusedNote->setToolTip(tr("Click the shortcut to choose another combination."));
    m_refusedNote->hide();
    names->addWidget(m_refusedNote);
    layout->addLayout(names);
    layout->addStretch(1);
    layout->addWidget(m_button, 0, Qt::AlignVCenter);
    connect(m_button, &QAbstractButton::clicked, this, &HotkeyRow::tapped);
    refreshButton();
}

void HotkeyRow::setBinding(const HotkeyBinding& binding)
{
    m_binding = binding;
    refreshButton();
}

void HotkeyRow::setRecording(bool recording)
{
    m_button->setRecording(recording);
    refreshButton();
}

void HotkeyRow::setRefusal(const QString& reason)
{
    m_refusal = reason;
    m_refusedNote->setText(reason);
    m_refusedNote->setVisible(!reason.isEmpty());
    refreshButton();
}

QString HotkeyRow::buttonText() const
{
    return m_button->text();
}

bool HotkeyRow::isRecording() const
{
    return m_button->isRecording();
}

void HotkeyRow::refreshButton()
{
    const QString shown = m_button->isRecording() ? tr("Press keys...") : m_binding.displayString();
    m_button->setText(shown);
    QString name = m_label + u": " + shown;
    if (isRefused())
        name += u", " + m_refusal;
    m_button->setAccessibleName(name);
    m_button->setToolTip(m_button->isRecording()
                             ? tr("Press the new combination, with at least one modifier")
                             : tr("Click to change"));
    m_button->updateGeometry();
}

} // namespace glimra
