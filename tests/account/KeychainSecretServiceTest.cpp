// The Secret Service store, run inside a session with an unlocked keyring.
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

// Another program's schema: only the two attributes are shared with ours.
const SecretSchema* foreignSchema()
{
    static const SecretSchema schema = [] {
        SecretSchema s;
        std::memset(&s, 0, sizeof s);
        s.name = "org.example.OtherTool";
        // Searches with it find items of any schema that carry the two attributes.
        s.flags = SECRET_SCHEMA_DONT_MATCH_NAME;
        s.attributes[0] = {"service", SECRET_SCHEMA_ATTRIBUTE_STRING};
        s.attributes[1] = {"account", SECRET_SCHEMA_ATTRIBUTE_STRING};
        return s;
    }();
    return &schema;
}

GList* search(const KeychainHelper& store)
{
    const QByteArray service = store.service().toUtf8();
    return secret_password_search_sync(
        foreignSchema(),
        static_cast<SecretSearchFlags>(SECRET_SEARCH_ALL | SECRET_SEARCH_UNLOCK |
                                       SECRET_SEARCH_LOAD_SECRETS),
        nullptr, nullptr, "service", service.constData(), "account", "authToken", nullptr);
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
    GList* items = search(store);
    const int count = static_cast<int>(g_list_length(items));
    g_list_free_full(items, g_object_unref);
    return count;
}

QByteArray storedBytes(const KeychainHelper& store)
{
    GList* items = search(store);
    QByteArray bytes;
    if (items) {
        SecretValue* value = secret_retrievable_retrieve_secret_sync(
            SECRET_RETRIEVABLE(items->data), nullptr, nullptr);
        if (value) {
            gsize length = 0;
            const gchar* data = secret_value_get(value, &length);
            bytes = QByteArray(data, static_cast<qsizetype>(length));
            secret_value_unref(value);
        }
    }
    g_list_free_full(items, g_object_unref);
    return bytes;
}

void writeRawItem(const KeychainHelper& store, const QByteArray& bytes)
{
    SecretValue* value = secret_value_new(bytes.constData(), bytes.size(), "text/plain");
    const QByteArray service = store.service().toUtf8();
    EXPECT_TRUE(secret_password_store_binary_sync(
        foreignSchema(), SECRET_COLLECTION_DEFAULT, "written by another tool", value, nullptr,
        nullptr, "service", service.constData(), "account", "authToken", nullptr));
    secret_value_unref(value);
}

} // namespace glimra::test

TEST(KeychainSecretService, ChosenWhenTheServiceAnswersAndNothingTouchesTheDisk)
{
    ASSERT_FALSE(qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        << "run inside scripts/test.sh, which provides a session bus and an unlocked keyring";
    const glimra::test::ScopedHome home;
    KeychainHelper store(QStringLiteral("com.tarnwick.glimra.test.choice"));
    ASSERT_TRUE(store.usesSecretService());
    store.save(QStringLiteral("secret"));
    EXPECT_FALSE(QFile::exists(store.fallbackFilePath()));
    EXPECT_FALSE(QDir(home.path() + QStringLiteral("/state/Glimra")).exists());
    EXPECT_EQ(KeychainHelper(store.service()).retrieve(), QStringLiteral("secret"));
    store.remove();
}

TEST(KeychainSecretService, AnItemOfAnotherToolIsReadAndReplaced)
{
    const glimra::test::ScopedHome home;
    KeychainHelper store(QStringLiteral("com.tarnwick.glimra.test.foreign"),
                         KeychainHelper::Backend::SecretService);
    store.remove();
    glimra::test::writeRawItem(store, "from-elsewhere");
    EXPECT_EQ(store.retrieve(), QStringLiteral("from-elsewhere"));
    store.save(QStringLiteral("ours"));
    EXPECT_EQ(glimra::test::storedItemCount(store), 1);
    EXPECT_EQ(store.retrieve(), QStringLiteral("ours"));
    store.remove();
    EXPECT_EQ(glimra::test::storedItemCount(store), 0);
}

TEST(KeychainSecretService, ATokenLeftInTheFallbackFileIsKeptUntilTheKeyringTakesOver)
{
    const glimra::test::ScopedHome home;
    const QString service = QStringLiteral("com.tarnwick.glimra.test.migrate");
    KeychainHelper store(service, KeychainHelper::Backend::SecretService);
    store.remove();
    KeychainHelper(service, KeychainHelper::Backend::File).save(QStringLiteral("from-file"));
    // A run without the keyring signed in; this run must not sign the user out.
    EXPECT_EQ(store.retrieve(), QStringLiteral("from-file"));
    store.save(QStringLiteral("fresh"));
    EXPECT_FALSE(QFile::exists(store.fallbackFilePath()));
    EXPECT_EQ(store.retrieve(), QStringLiteral("fresh"));
    store.remove();
}
