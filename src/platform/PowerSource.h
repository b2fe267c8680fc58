// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

namespace glimra {

// Whether the machine runs on battery, for work that can wait for mains power.
class PowerSource : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    virtual bool onBattery() const = 0;

Q_SIGNALS:
    void onBatteryChanged(bool onBattery);
};

// UPower's answer on the system bus; where there is no UPower, always on mains. The first
// answer comes as a change: nothing here waits for the bus.
PowerSource* createPowerSource(QObject* parent);

} // namespace glimra
