// SPDX-License-Identifier: GPL-3.0-or-later
// The Secret Service store, inside the session with an unlocked keyring that
// scripts/test.sh provides.
#include <libsecret/secret.h>

#include "account/KeychainHelper.h"

#include "TestSupport.h"

namespace {

const QString kService = u"com.tarnwick.glimra.test.keyring"_s;

// Another program's schema sharing only the two attributes.
const SecretSchema kForeign = [] {
    SecretSchema schema{};
    schema.name = "org.example.OtherTool";
    schema.flags = SECRET_SCHEMA_DONT_MATCH_NAME;
    schema.attributes[0] = {"service", SECRET_SCHEMA_ATTRIBUTE_STRING};
    schema.attributes[1] = {"account", SECRET_SCHEMA_ATTRIBUTE_STRING};
    return schema;
}();

// The items any program finds under the service and account, whatever their schema.
guint itemCount()
{
    GList* items =
        secret_password_search_sync(&kForeign, SECRET_SEARCH_ALL, nullptr, nullptr, "service",
                                    kService.toUtf8().constData(), "account", "authToken", nullptr);
    const guint count = g_list_length(items);
    g_list_free_full(items, g_object_unref);
    return count;
}

void storeAsAnotherTool(const QByteArray& bytes)
{
    SecretValue* value = secret_value_new(bytes.constData(), bytes.size(), "text/plain");
    EXPECT_TRUE(secret_password_store_binary_sync(
        &kForeign, SECRET_COLLECTION_DEFAULT, "another tool", value, nullptr, nullptr, "service",
        kService.toUtf8().constData(), "account", "authToken", nullptr));
    secret_value_unref(value);
}

} // namespace

TEST(KeychainSecretService, KeepsOneItemOthersCanShareThatSurvivesARestart)
{
    ASSERT_TRUE(KeychainHelper::secretServiceAnswers())
        << "run inside scripts/test.sh, which provides a session bus and an unlocked keyring";
    const glimra::test::ScopedHome home;
    KeychainHelper store(kService);
    ASSERT_TRUE(store.usesSecretService());
    store.remove();
    EXPECT_FALSE(store.retrieve());
    // A run without the keyring kept the token in the file: this run must not lose it.
    KeychainHelper(kService, KeychainHelper::Backend::File).save(u"from-file"_s);
    EXPECT_EQ(store.retrieve(), u"from-file"_s);
    storeAsAnotherTool("from-another-tool");
    EXPECT_EQ(store.retrieve(), u"from-another-tool"_s);

    const QString token = u"tökén-\U0001F511\nline"_s;
    store.save(u"first"_s);
    store.save(token);
    EXPECT_EQ(itemCount(), 1u) << "replaced, not added beside";
    EXPECT_EQ(KeychainHelper(kService).retrieve(), token);
    EXPECT_FALSE(QFile::exists(store.fallbackFilePath()));
    store.remove();
    store.remove();
    EXPECT_EQ(itemCount(), 0u);
    storeAsAnotherTool("\xff\xfe\x80");
    EXPECT_FALSE(store.retrieve()) << "not UTF-8";
    store.remove();
}
