// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ViewParts.h"

#include <QFrame>
#include <QLabel>
#include <QLocale>
#include <QRegularExpression>
#include <QToolButton>

namespace glimra::parts {

QToolButton* plainButton(const QString& text, style::TextStyle textStyle, const QColor& colour,
                         QWidget* parent)
{
    auto* button = new QToolButton(parent);
    // A single ampersand would mark a mnemonic and vanish from the label.
    button->setText(QString(text).replace(QLatin1Char('&'), QStringLiteral("&&")));
    button->setAccessibleName(text);
    button->setAutoRaise(true);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    button->setFont(style::font(textStyle));
    button->setFocusPolicy(Qt::StrongFocus);
    button->setCursor(Qt::PointingHandCursor);
    if (colour.isValid()) {
        QPalette palette = button->palette();
        palette.setColor(QPalette::ButtonText, colour);
        palette.setColor(QPalette::WindowText, colour);
        button->setPalette(palette);
    }
    return button;
}

QToolButton* iconButton(const QString& symbol, style::TextStyle textStyle,
                        const QString& accessibleName, QWidget* parent)
{
    auto* button = new QToolButton(parent);
    const int side = QFontMetrics(style::font(textStyle)).height();
    button->setIcon(style::icon(symbol));
    button->setIconSize(QSize(side, side));
    button->setAutoRaise(true);
    button->setAccessibleName(accessibleName);
    button->setFocusPolicy(Qt::StrongFocus);
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

QFrame* divider(QWidget* parent)
{
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setFixedHeight(1);
    QPalette palette = line->palette();
    palette.setColor(QPalette::WindowText, style::primary(parent, 0.15));
    line->setPalette(palette);
    return line;
}

QLabel* label(const QString& text, const QFont& font, const QColor& colour, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setFont(font);
    label->setTextFormat(Qt::PlainText);
    if (colour.isValid()) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, colour);
        label->setPalette(palette);
    }
    return label;
}

} // namespace glimra::parts

namespace glimra::parts {

QString timeOfDay(const QTime& time)
{
    // The locale's short form, less any seconds some locales put in it.
    static const QRegularExpression seconds(QStringLiteral("[:.]?s+"));
    QString format = QLocale().timeFormat(QLocale::ShortFormat);
    format.remove(seconds);
    return QLocale().toString(time, format.trimmed());
}

} // namespace glimra::parts
