#include "ui/FormParts.h"

#include <QFrame>
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

QFrame* divider(QWidget* parent)
{
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

void setSymbol(QLabel* label, QStringView symbol, int size)
{
    const QIcon icon = style::icon(symbol);
    label->setFixedSize(size, size);
    if (!icon.isNull())
        label->setPixmap(icon.pixmap(QSize(size, size), label->devicePixelRatioF()));
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

} // namespace glimra::form
