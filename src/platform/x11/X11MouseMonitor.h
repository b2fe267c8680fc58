// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/GlobalMouseMonitor.h"

#include <memory>

class QSocketNotifier;

namespace glimra {

// Raw button events of XInput 2 on the root window: they are reported to every client that
// asks, whichever window the press goes to, and no grab is taken.
class X11MouseMonitor final : public GlobalMouseMonitor {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(X11MouseMonitor)
public:
    explicit X11MouseMonitor(QObject* parent = nullptr);
    ~X11MouseMonitor() override;
    bool start() override;
    void stop() override;
    void deliverPending() override { drain(); }

private:
    void drain();
    struct Connection;
    std::unique_ptr<Connection> m_conn;
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace glimra
