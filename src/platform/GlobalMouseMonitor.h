// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QPoint>

namespace glimra {

// Sees left and right button presses anywhere on the desktop without taking them from the
// application they go to, so an open popover can close when the user clicks elsewhere.
class GlobalMouseMonitor : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~GlobalMouseMonitor() override = default;

    virtual bool start() = 0;
    virtual void stop() = 0;
    // Reports now the presses that have happened but still wait to be read, so a decision
    // about an event from another source (the tray's activation) sees every press before it.
    virtual void deliverPending() {}

Q_SIGNALS:
    // Position in the desktop's coordinates (device pixels).
    void mousePressed(QPoint position);
};

// For sessions that do not let one client watch another's input (Wayland).
class NullMouseMonitor final : public GlobalMouseMonitor {
    Q_OBJECT
public:
    using GlobalMouseMonitor::GlobalMouseMonitor;
    bool start() override { return false; }
    void stop() override {}
};

} // namespace glimra
