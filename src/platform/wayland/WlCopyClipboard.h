// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/Clipboard.h"

#include <QString>

namespace glimra {

// The Wayland clipboard as a program without a focused window can own it: a compositor gives
// the selection only to the client the user last typed into, except through its data-control
// protocol, which wl-copy speaks; where there is none (GNOME), wl-copy shows a surface of its
// own for a moment, which the desktop focuses. Each copy hands one encoding to a wl-copy of its
// own, which keeps offering it after it has read it (and after Glimra has quit) until something
// else is copied. The encoding is made on a worker thread and the child is never waited for.
class WlCopyClipboard final : public Clipboard {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WlCopyClipboard)
public:
    explicit WlCopyClipboard(QString program = QStringLiteral("wl-copy"),
                             QObject* parent = nullptr);
    void setMimeData(QMimeData* data) override;
    quint64 changeCount() const override { return m_changeCount; }

    // The one type a copy is offered as: PNG for a picture, else the first type it has.
    static QString offeredType(const QMimeData& data);

private:
    void hand(quint64 copy, const QString& type, const QByteArray& bytes);

    QString m_program;
    quint64 m_changeCount = 0;
    quint64 m_copies = 0;
};

} // namespace glimra
