// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ui/Style.h"

#include <QAbstractButton>
#include <QLabel>
#include <QVBoxLayout>

#include <functional>

class QVariantAnimation;

// Small pieces the account and settings views are built from. They paint themselves from
// the palette at paint time, so a theme switched while the popover is open shows at once.
namespace glimra::form {

// A caption, headline, ... label in the given colour (the palette's text colour when none).
QLabel* label(const QString& text, style::TextStyle textStyle, QWidget* parent,
              std::function<QColor(const QWidget*)> colour = {});
// The column every inner popup's content is laid out in: the same margins and row spacing
// in the sign-in, account and settings popups.
QVBoxLayout* popupColumn(QWidget* content);
// A one-pixel line in a faint shade of the text colour, light and dark themes alike.
QWidget* divider(QWidget* parent);
// The icon of a symbol at a size, for a label.
// An invalid tint takes the theme's icon, or draws the symbol in the text colour.
void setSymbol(QLabel* label, QStringView symbol, int size, const QColor& tint = {});

// A button that draws only its text, in a colour that follows the palette.
class PlainButton final : public QAbstractButton {
    Q_OBJECT
public:
    PlainButton(const QString& text, std::function<QColor(const QWidget*)> colour,
                QWidget* parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::function<QColor(const QWidget*)> m_colour;
};

// The filled, accent-coloured main button of a form. While busy it shows a small turning
// arc instead of its text and cannot be clicked.
class ProminentButton final : public QAbstractButton {
    Q_OBJECT
public:
    explicit ProminentButton(QWidget* parent = nullptr);
    QSize sizeHint() const override;
    void setBusy(bool busy);
    bool isBusy() const { return m_busy; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool m_busy = false;
    QVariantAnimation* m_turn;
};

// One segment of a two-way choice: the chosen one is filled with the accent colour.
class Segment final : public QAbstractButton {
    Q_OBJECT
public:
    enum class End { Leading, Trailing };
    Segment(const QString& text, End end, QWidget* parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    End m_end;
};

} // namespace glimra::form
