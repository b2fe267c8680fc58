// What every credential store must do, compiled into one test binary per store.
#include "KeychainContract.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

using glimra::KeychainHelper;

namespace {

class KeychainContract : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!glimra::test::storeUnderTestAvailable())
            GTEST_SKIP() << "no Secret Service in this session";
        store = make(QStringLiteral("com.tarnwick.glimra.test.contract"));
        store->remove();
    }
    void TearDown() override
    {
        if (store)
            store->remove();
    }
    static std::unique_ptr<KeychainHelper> make(const QString& service)
    {
        return std::make_unique<KeychainHelper>(service, glimra::test::backendUnderTest());
    }

    glimra::test::ScopedHome home;
    std::unique_ptr<KeychainHelper> store;
};

// Each binary names the suite after its store, so ctest can tell them apart.
using KEYCHAIN_CONTRACT = KeychainContract;

} // namespace

TEST_F(KEYCHAIN_CONTRACT, SaveReplacesSurvivesARestartAndRemoves)
{
    EXPECT_FALSE(store->retrieve());
    const QString token = QStringLiteral("t\u00f6k\u00e9n-\U0001F511 with\nlines");
    store->save(QStringLiteral("first"));
    store->save(token);
    EXPECT_EQ(glimra::test::storedItemCount(*store), 1);
    EXPECT_EQ(glimra::test::storedBytes(*store), token.toUtf8());
    EXPECT_EQ(make(store->service())->retrieve(), token);
    store->remove();
    store->remove();
    EXPECT_FALSE(store->retrieve());
    EXPECT_EQ(glimra::test::storedItemCount(*store), 0);
}

TEST_F(KEYCHAIN_CONTRACT, ForeignBytesAndOtherServicesAreNotOurToken)
{
    glimra::test::writeRawItem(*store, QByteArray("\xff\xfe\x80token", 8));
    EXPECT_FALSE(store->retrieve()) << "not UTF-8";
    store->save(QStringLiteral("mine"));
    const auto other = make(store->service() + QStringLiteral(".other"));
    EXPECT_FALSE(other->retrieve());
    other->save(QStringLiteral("theirs"));
    other->remove();
    EXPECT_EQ(store->retrieve(), QStringLiteral("mine"));
}
