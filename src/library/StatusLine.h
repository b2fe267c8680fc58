// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>

#include <chrono>
#include <functional>

namespace glimra {

// The one line of text under the capture buttons: progress, failures and confirmations.
// Empty means nothing to show.
class StatusLine final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StatusLine)
public:
    // Decides whether the line still shows a confirmation when its time is up.
    using StillShown = std::function<bool(const QString& shown)>;

    using QObject::QObject;

    QString text() const { return m_text; }
    void set(const QString& text);
    // Shows text, and clears the line after the delay unless something else has replaced it;
    // by default only the very same text counts as still shown.
    void showConfirmation(const QString& text, std::chrono::milliseconds after,
                          StillShown stillShown = {});

Q_SIGNALS:
    void changed();

private:
    QString m_text;
};

} // namespace glimra
