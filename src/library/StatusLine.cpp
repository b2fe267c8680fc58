// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/StatusLine.h"

#include <QTimer>

namespace glimra {

void StatusLine::set(const QString& text)
{
    if (m_text == text)
        return;
    m_text = text;
    Q_EMIT changed();
}

void StatusLine::showConfirmation(const QString& text, std::chrono::milliseconds after,
                                  StillShown stillShown)
{
    if (!stillShown)
        stillShown = [text](const QString& shown) { return shown == text; };
    set(text);
    QTimer::singleShot(after, this, [this, stillShown = std::move(stillShown)] {
        if (stillShown(m_text))
            set(QString());
    });
}

} // namespace glimra
