// The Secret Service store, inside the session with an unlocked keyring that
// scripts/test.sh provides.
#include <libsecret/secret.h>

#include "account/KeychainHelper.h"

#include "TestSupport.h"

#include <QFile>

#include <gtest/gtest.h>

#include <cstring>

using glimra::KeychainHelper;

namespace {

// Another program's schema sharing only the two attributes; searches with it find items of
// any schema.
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

std::vector<QByteArray> secretsOf(const QString& service)
{
    constexpr auto kSearch = static_cast<SecretSearchFlags>(
        SECRET_SEARCH_ALL | SECRET_SEARCH_UNLOCK | SECRET_SEARCH_LOAD_SECRETS);
    GList* items =
        secret_password_search_sync(foreignSchema(), kSearch, nullptr, nullptr, "service",
                                    service.toUtf8().constData(), "account", "authToken", nullptr);
    std::vector<QByteArray> secrets;
    for (GList* item = items; item; item = item->next) {
        SecretValue* value = secret_retrievable_retrieve_secret_sync(SECRET_RETRIEVABLE(item->data),
                                                                     nullptr, nullptr);
        gsize length = 0;
        const gchar* data = secret_value_get(value, &length);
        secrets.emplace_back(data, static_cast<qsizetype>(length));
        secret_value_unref(value);
    }
    g_list_free_full(items, g_object_unref);
    return secrets;
}

void storeAsAnotherTool(const QString& service, const QByteArray& bytes)
{
    SecretValue* value = secret_value_new(bytes.constData(), bytes.size(), "text/plain");
    EXPECT_TRUE(secret_password_store_binary_sync(
        foreignSchema(), SECRET_COLLECTION_DEFAULT, "another tool", value, nullptr, nullptr,
        "service", service.toUtf8().constData(), "account", "authToken", nullptr));
    secret_value_unref(value);
}

} // namespace

TEST(KeychainSecretService, KeepsOneItemThatSurvivesARestart)
{
    ASSERT_TRUE(KeychainHelper::secretServiceAnswers())
        << "run inside scripts/test.sh, which provides a session bus and an unlocked keyring";
    const glimra::test::ScopedHome home;
    const QString service = QStringLiteral("com.tarnwick.glimra.test.keyring");
    KeychainHelper store(service);
    ASSERT_TRUE(store.usesSecretService());
    store.remove();
    EXPECT_FALSE(store.retrieve());

    const QString token = QStringLiteral("t\u00f6k\u00e9n-\U0001F511\nline");
    store.save(QStringLiteral("first"));
    store.save(token);
    EXPECT_EQ(secretsOf(service), std::vector<QByteArray>{token.toUtf8()});
    EXPECT_EQ(KeychainHelper(service).retrieve(), token);
    EXPECT_FALSE(QFile::exists(store.fallbackFilePath()));
    store.remove();
    store.remove();
    EXPECT_TRUE(secretsOf(service).empty());
}

TEST(KeychainSecretService, ReadsWhatOthersLeftUnlessItIsNotUtf8)
{
    const glimra::test::ScopedHome home;
    const QString service = QStringLiteral("com.tarnwick.glimra.test.foreign");
    KeychainHelper store(service, KeychainHelper::Backend::SecretService);
    store.remove();
    // A run without the keyring kept the token in the file: this run must not lose it.
    KeychainHelper(service, KeychainHelper::Backend::File).save(QStringLiteral("from-file"));
    EXPECT_EQ(store.retrieve(), QStringLiteral("from-file"));
    storeAsAnotherTool(service, "from-another-tool");
    EXPECT_EQ(store.retrieve(), QStringLiteral("from-another-tool"));
    store.remove();
    storeAsAnotherTool(service, QByteArray("\xff\xfe\x80", 3));
    EXPECT_FALSE(store.retrieve());
    store.save(QStringLiteral("fresh"));
    EXPECT_EQ(secretsOf(service).size(), 1u) << "replaced, not added beside";
    EXPECT_FALSE(QFile::exists(store.fallbackFilePath()));
    store.remove();
}
