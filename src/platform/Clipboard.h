// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

class QMimeData;

namespace glimra {

// The desktop clipboard (the CLIPBOARD selection on X11).
class Clipboard : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~Clipboard() override = default;

    // Takes ownership. Data is produced only when a reader asks, so offering several
    // encodings of a large picture costs nothing until someone pastes.
    virtual void setMimeData(QMimeData* data) = 0;
    // Rises every time the clipboard's owner or contents change, whoever changed them.
    virtual quint64 changeCount() const = 0;
};

} // namespace glimra
