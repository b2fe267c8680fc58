// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/Clipboard.h"

namespace glimra {

class SystemClipboard final : public Clipboard {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SystemClipboard)
public:
    explicit SystemClipboard(QObject* parent = nullptr);
    void setMimeData(QMimeData* data) override;
    quint64 changeCount() const override { return m_changeCount; }

private:
    quint64 m_changeCount = 0;
};

} // namespace glimra
