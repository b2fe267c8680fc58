// The Secret Service store, run inside the session with an unlocked keyring that
// scripts/test.sh provides.
#include <libsecret/secret.h>

#include "KeychainContract.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <cstring>

using glimra::KeychainHelper;

namespace glimra::test {

namespace {

// Another program's schema that shares only the two attributes with ours; searches with it
// find items of any schema.
const SecretSchema* foreignSchema()
{
    static const SecretSchema schema = [] {
        SecretSchema s;
        std::memset(&s, 0, sizeof s);
        s.name = "org.example.OtherTool";
        s.flags = SECRET_SCHEMA_DONT_MATCH_NAME;
        s.attributes[0] = {"service", SECRET_SCHEMA_ATTRIBUTE_STRING};
        s.attributes[1] = {"account", SECRET_SCHEMA_ATTRIBUTE_STRING};
        return s;
    }();
    return &schema;
}

std::vector<QByteArray> storedSecrets(const KeychainHelper& store)
{
    const QByteArray service = store.service().toUtf8();
    GList* items = secret_password_search_sync(
        foreignSchema(), static_cast<SecretSearchFlags>(SECRET_SEARCH_ALL | SECRET_SEARCH_UNLOCK),
        nullptr, nullptr, "service", service.constData(), "account", "authToken", nullptr);
    std::vector<QByteArray> secrets;
    for (GList* item = items; item; item = item->next) {
        SecretValue* value = secret_retrievable_retrieve_secret_sync(SECRET_RETRIEVABLE(item->data),
                                                                     nullptr, nullptr);
        gsize length = 0;
        const gchar* data = value ? secret_value_get(value, &length) : "";
        secrets.emplace_back(data, static_cast<qsizetype>(length));
        if (value)
            secret_value_unref(value);
    }
    g_list_free_full(items, g_object_unref);
    return secrets;
}

} // namespace

KeychainHelper::Backend backendUnderTest()
{
    return KeychainHelper::Backend::SecretService;
}

bool storeUnderTestAvailable()
{
    return KeychainHelper::secretServiceAnswers();
}

int storedItemCount(const KeychainHelper& store)
{
    return static_cast<int>(storedSecrets(store).size());
}

QByteArray storedBytes(const KeychainHelper& store)
{
    const std::vector<QByteArray> secrets = storedSecrets(store);
    return secrets.empty() ? QByteArray() : secrets.front();
}

void writeRawItem(const KeychainHelper& store, const QByteArray& bytes)
{
    SecretValue* value = secret_value_new(bytes.constData(), bytes.size(), "text/plain");
    const QByteArray service = store.service().toUtf8();
    EXPECT_TRUE(secret_password_store_binary_sync(
        foreignSchema(), SECRET_COLLECTION_DEFAULT, "another tool", value, nullptr, nullptr,
        "service", service.constData(), "account", "authToken", nullptr));
    secret_value_unref(value);
}

} // namespace glimra::test

TEST(KeychainSecretService, ChosenWhenItAnswersAndItTakesOverFromTheFile)
{
    ASSERT_FALSE(qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        << "run inside scripts/test.sh, which provides a session bus and an unlocked keyring";
    const glimra::test::ScopedHome home;
    const QString service = QStringLiteral("com.tarnwick.glimra.test.takeover");
    KeychainHelper store(service);
    ASSERT_TRUE(store.usesSecretService());
    store.remove();

    // A run without the keyring kept the token in the file: this run must not lose it.
    KeychainHelper(service, KeychainHelper::Backend::File).save(QStringLiteral("from-file"));
    EXPECT_EQ(store.retrieve(), QStringLiteral("from-file"));
    glimra::test::writeRawItem(store, "from-another-tool");
    EXPECT_EQ(store.retrieve(), QStringLiteral("from-another-tool"));
    store.save(QStringLiteral("fresh"));
    EXPECT_EQ(glimra::test::storedItemCount(store), 1);
    EXPECT_FALSE(QFile::exists(store.fallbackFilePath()));
    EXPECT_EQ(KeychainHelper(service).retrieve(), QStringLiteral("fresh"));
    store.remove();
}
