// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/PowerSource.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QVariantMap>

namespace glimra {

namespace {

const QString kService = QStringLiteral("org.freedesktop.UPower");
const QString kPath = QStringLiteral("/org/freedesktop/UPower");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");

class UPowerSource final : public PowerSource {
    Q_OBJECT
public:
    explicit UPowerSource(QObject* parent) : PowerSource(parent)
    {
        QDBusConnection bus = QDBusConnection::systemBus();
        if (!bus.isConnected())
            return;
        bus.connect(kService, kPath, kProperties, QStringLiteral("PropertiesChanged"), this,
                    SLOT(propertiesChanged(QString, QVariantMap, QStringList)));
        QDBusMessage get =
            QDBusMessage::createMethodCall(kService, kPath, kProperties, QStringLiteral("Get"));
        get << kService << QStringLiteral("OnBattery");
        auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(get), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this,
                [this](QDBusPendingCallWatcher* call) {
                    const QDBusPendingReply<QDBusVariant> reply = *call;
                    if (!reply.isError())
                        set(reply.value().variant().toBool());
                    call->deleteLater();
                });
    }

    bool onBattery() const override { return m_onBattery; }

private Q_SLOTS:
    void propertiesChanged(const QString& interface, const QVariantMap& changed, const QStringList&)
    {
        const auto value = changed.constFind(QStringLiteral("OnBattery"));
        if (interface == kService && value != changed.constEnd())
            set(value->toBool());
    }

private:
    void set(bool onBattery)
    {
        if (onBattery == m_onBattery)
            return;
        m_onBattery = onBattery;
        Q_EMIT onBatteryChanged(onBattery);
    }

    bool m_onBattery = false;
};

} // namespace

PowerSource* createPowerSource(QObject* parent)
{
    return new UPowerSource(parent);
}

} // namespace glimra

#include "UPowerSource.moc"
