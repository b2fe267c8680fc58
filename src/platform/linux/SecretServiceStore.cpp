// SPDX-License-Identifier: GPL-3.0-or-later
// GLib's headers name struct members "signals"; include them before anything from Qt.
#include <gio/gio.h>
#include <libsecret/secret.h>

#include "platform/linux/SecretServiceStore.h"

#include <chrono>
#include <cstring>
#include <future>
#include <memory>
#include <thread>

namespace glimra {

namespace {

// The schema's name must outlive every call, so the schema refers to the store's own copy.
SecretSchema schemaNamed(const QByteArray& name)
{
    SecretSchema schema;
    std::memset(&schema, 0, sizeof schema);
    schema.name = name.constData();
    schema.flags = SECRET_SCHEMA_DONT_MATCH_NAME;
    schema.attributes[0] = {"service", SECRET_SCHEMA_ATTRIBUTE_STRING};
    schema.attributes[1] = {"account", SECRET_SCHEMA_ATTRIBUTE_STRING};
    return schema;
}

struct HashTableDeleter {
    void operator()(GHashTable* table) const { g_hash_table_unref(table); }
};
using Attributes = std::unique_ptr<GHashTable, HashTableDeleter>;

Attributes attributesFor(const QString& service, const QString& account)
{
    Attributes table(g_hash_table_new_full(g_str_hash, g_str_equal, g_free, g_free));
    g_hash_table_insert(table.get(), g_strdup("service"), g_strdup(service.toUtf8().constData()));
    g_hash_table_insert(table.get(), g_strdup("account"), g_strdup(account.toUtf8().constData()));
    return table;
}

bool nameAnswers(GDBusConnection* bus, const char* method, const char* replyType,
                 GVariant* arguments)
{
    GVariant* reply = g_dbus_connection_call_sync(
        bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", method,
        arguments, G_VARIANT_TYPE(replyType), G_DBUS_CALL_FLAGS_NONE, 500, nullptr, nullptr);
    if (!reply)
        return false;
    bool found = false;
    if (g_variant_is_of_type(reply, G_VARIANT_TYPE("(b)"))) {
        gboolean owned = FALSE;
        g_variant_get(reply, "(b)", &owned);
        found = owned;
    } else {
        GVariantIter* names = nullptr;
        g_variant_get(reply, "(as)", &names);
        const gchar* name = nullptr;
        while (!found && g_variant_iter_next(names, "&s", &name))
            found = std::strcmp(name, "org.freedesktop.secrets") == 0;
        g_variant_iter_free(names);
    }
    g_variant_unref(reply);
    return found;
}

bool probeSessionBus()
{
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (!bus)
        return false;
    const bool answers =
        nameAnswers(bus, "NameHasOwner", "(b)", g_variant_new("(s)", "org.freedesktop.secrets")) ||
        nameAnswers(bus, "ListActivatableNames", "(as)", nullptr);
    g_object_unref(bus);
    return answers;
}

} // namespace

SecretServiceStore::SecretServiceStore(QByteArray schemaName, QByteArray label)
    : m_schemaName(std::move(schemaName)), m_label(std::move(label))
{}

bool SecretServiceStore::store(const QString& service, const QString& account,
                               const QByteArray& secret)
{
    const SecretSchema schema = schemaNamed(m_schemaName);
    const Attributes attributes = attributesFor(service, account);
    // Cleared first: an item of another schema under the same attributes would stay beside.
    secret_password_clearv_sync(&schema, attributes.get(), nullptr, nullptr);
    SecretValue* value = secret_value_new(secret.constData(), secret.size(), "text/plain");
    const gboolean stored =
        secret_password_storev_binary_sync(&schema, attributes.get(), SECRET_COLLECTION_DEFAULT,
                                           m_label.constData(), value, nullptr, nullptr);
    secret_value_unref(value);
    return stored;
}

std::optional<QByteArray> SecretServiceStore::lookup(const QString& service,
                                                     const QString& account) const
{
    const SecretSchema schema = schemaNamed(m_schemaName);
    const Attributes attributes = attributesFor(service, account);
    SecretValue* value =
        secret_password_lookupv_binary_sync(&schema, attributes.get(), nullptr, nullptr);
    if (!value)
        return std::nullopt;
    gsize length = 0;
    const gchar* data = secret_value_get(value, &length);
    QByteArray bytes(data, static_cast<qsizetype>(length));
    secret_value_unref(value);
    return bytes;
}

void SecretServiceStore::remove(const QString& service, const QString& account)
{
    const SecretSchema schema = schemaNamed(m_schemaName);
    secret_password_clearv_sync(&schema, attributesFor(service, account).get(), nullptr, nullptr);
}

bool SecretServiceStore::answers()
{
    // Without an address GLib would try to autolaunch a bus of its own.
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return false;
    // A bus that accepts the connection but never answers must not hold up start-up: the
    // probe runs aside and is abandoned when it is late.
    auto promise = std::make_shared<std::promise<bool>>();
    std::future<bool> answer = promise->get_future();
    std::thread([promise] { promise->set_value(probeSessionBus()); }).detach();
    if (answer.wait_for(std::chrono::milliseconds(1500)) != std::future_status::ready)
        return false;
    return answer.get();
}

} // namespace glimra
