// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/FormParts.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QVariantAnimation>

namespace glimra::form {

namespace {

// A label whose colour is taken from the palette each time it paints.
class TintedLabel final : public QLabel {
public:
    TintedLabel(const QString& text, std::function<QColor(const QWidget*)> colour, QWidget* parent)
        : QLabel(text, parent), m_colour(std::move(colour))
    {}

protected:
    void paintEvent(QPaintEvent* event) override
    {
        QPalette p = palette();
        p.setColor(QPalette::WindowText, m_colour(this));
        if (p != palette())
            setPalette(p);
        QLabel::paintEvent(event);
    }

private:
    std::function<QColor(const QWidget*)> m_colour;
};

} // namespace

QLabel* label(const QString& text, style::TextStyle textStyle, QWidget* parent,
              std::function<QColor(const QWidget*)> colour)
{
    QLabel* l =
        colour ? new TintedLabel(text, std::move(colour), parent) : new QLabel(text, parent);
    l->setFont(style::font(textStyle));
    return l;
}

namespace {
class Divider final : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter(this).fillRect(rect(), style::primary(this, 0.15));
    }
};
} // namespace

QVBoxLayout* popupColumn(QWidget* content)
{
    auto* layout = new QVBoxLayout(content);
    layout->setSpacing(16);
    layout->setContentsMargins(20, 20, 20, 20);
    return layout;
}

QWidget* divider(QWidget* parent)
{
    auto* line = new Divider(parent);
    line->setFixedHeight(1);
    line->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    return line;
}

void setSymbol(QLabel* label, QStringView symbol, int size, const QColor& tint)
{
    const QIcon icon = tint.isValid() ? style::icon(symbol, tint) : style::icon(symbol);
    label->setFixedSize(size, size);
    if (!icon.isNull())
        // Drawn for the densest screen at once: a label made before it is shown does not
        // know yet which screen it will be on, and a scale of 2 must stay sharp.
        label->setPixmap(icon.pixmap(QSize(size, size), qApp->devicePixelRatio()));
}

PlainButton::PlainButton(const QString& text, std::function<QColor(const QWidget*)> colour,
                         QWidget* parent)
    : QAbstractButton(parent), m_colour(std::move(colour))
{
    setText(text);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
}

QSize PlainButton::sizeHint() const
{
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance(text()) + 4, metrics.height() + 4};
}

void PlainButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    QColor colour = m_colour(this);
    if (!isEnabled())
        colour.setAlphaF(colour.alphaF() * 0.4);
    else if (isDown())
        colour = colour.darker(130);
    painter.setPen(colour);
    QFont f = font();
    f.setUnderline(underMouse() && isEnabled());
    painter.setFont(f);
    painter.drawText(rect(), Qt::AlignCenter, text());
    if (hasFocus()) {
        QStyleOptionFocusRect option;
        option.initFrom(this);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
    }
}

ProminentButton::ProminentButton(QWidget* parent)
    : QAbstractButton(parent), m_turn(new QVariantAnimation(this))
{
    setFocusPolicy(Qt::StrongFocus);
    m_turn->setStartValue(0.0);
    m_turn->setEndValue(360.0);
    m_turn->setDuration(900);
    m_turn->setLoopCount(-1);
    connect(m_turn, &QVariantAnimation::valueChanged, this, qOverload<>(&QWidget::update));
}

QSize ProminentButton::sizeHint() const
{
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance(text()) + 24, metrics.height() + 12};
}

void ProminentButton::setBusy(bool busy)
{
    if (m_busy == busy)
        return;
    m_busy = busy;
    if (busy)
        m_turn->start();
    else
        m_turn->stop();
    update();
}

void ProminentButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const bool active = isEnabled() || m_busy;
    QColor fill = style::accent(this, active ? 1.0 : 0.35);
    if (isDown())
        fill = fill.darker(115);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);
    painter.fillPath(shape, fill);
    QColor ink = palette().color(QPalette::HighlightedText);
    if (!active)
        ink.setAlphaF(0.7);
    if (m_busy) {
        const qreal side = qMin(height() - 10, 16);
        const QRectF arc(width() / 2.0 - side / 2, height() / 2.0 - side / 2, side, side);
        painter.setPen(QPen(ink, 2, Qt::SolidLine, Qt::RoundCap));
        const int start = static_cast<int>(-m_turn->currentValue().toDouble() * 16);
        painter.drawArc(arc, start, 270 * 16);
    } else {
        painter.setPen(ink);
        painter.drawText(rect(), Qt::AlignCenter, text());
    }
    if (hasFocus()) {
        painter.setPen(QPen(ink, 1, Qt::DotLine));
        painter.drawRoundedRect(QRectF(rect()).adjusted(2.5, 2.5, -2.5, -2.5), 4, 4);
    }
}

Segment::Segment(const QString& text, End end, QWidget* parent)
    : QAbstractButton(parent), m_end(end)
{
    setText(text);
    setCheckable(true);
    setAutoExclusive(true);
    setFocusPolicy(Qt::StrongFocus);
}

QSize Segment::sizeHint() const
{
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance(text()) + 16, metrics.height() + 8};
}

void Segment::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    // Rounded on the outer side only, so the two segments read as one control.
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath shape;
    shape.addRoundedRect(box, 5, 5);
    QPainterPath inner;
    inner.addRect(m_end == End::Leading ? box.adjusted(box.width() / 2, 0, 0, 0)
                                        : box.adjusted(0, 0, -box.width() / 2, 0));
    shape = shape.united(inner);
    painter.fillPath(shape, isChecked() ? style::accent(this) : style::primary(this, 0.08));
    painter.setPen(QPen(style::primary(this, 0.2), 1));
    painter.drawPath(shape);
    painter.setPen(isChecked() ? palette().color(QPalette::HighlightedText) : style::primary(this));
    painter.drawText(rect(), Qt::AlignCenter, text());
    if (hasFocus()) {
        painter.setPen(QPen(style::accent(this), 1, Qt::DotLine));
        painter.drawRect(box.adjusted(2, 2, -2, -2));
    }
}

} // namespace glimra::form
