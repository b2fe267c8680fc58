// The behaviour every credential store must show, compiled into one test binary per store.
#include "KeychainContract.h"

#include "account/KeychainHelper.h"

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
        // A fresh service per test, so leftovers of an earlier run cannot mask a fault.
        m_service =
            QStringLiteral("com.tarnwick.glimra.test.") +
            QString::fromLatin1(::testing::UnitTest::GetInstance()->current_test_info()->name());
        m_store = makeStore();
        m_store->remove();
    }
    void TearDown() override
    {
        if (m_store)
            m_store->remove();
    }

    std::unique_ptr<KeychainHelper> makeStore() const
    {
        return std::make_unique<KeychainHelper>(m_service, glimra::test::backendUnderTest());
    }

    glimra::test::ScopedHome m_home;
    QString m_service;
    std::unique_ptr<KeychainHelper> m_store;
};

// Each binary gets its own suite name, so ctest can tell the stores apart.
using KEYCHAIN_CONTRACT = KeychainContract;

} // namespace

TEST_F(KEYCHAIN_CONTRACT, EmptyUntilSavedAndEmptyAgainAfterRemoval)
{
    EXPECT_FALSE(m_store->retrieve());
    m_store->save(QStringLiteral("first"));
    EXPECT_EQ(m_store->retrieve(), QStringLiteral("first"));
    m_store->remove();
    EXPECT_FALSE(m_store->retrieve());
    m_store->remove();
    EXPECT_FALSE(m_store->retrieve());
}

TEST_F(KEYCHAIN_CONTRACT, SaveReplacesAndKeepsOneItem)
{
    m_store->save(QStringLiteral("token-A"));
    m_store->save(QStringLiteral("token-B"));
    EXPECT_EQ(m_store->retrieve(), QStringLiteral("token-B"));
    EXPECT_EQ(glimra::test::storedItemCount(*m_store), 1);
    m_store->remove();
    EXPECT_EQ(glimra::test::storedItemCount(*m_store), 0);
}

TEST_F(KEYCHAIN_CONTRACT, TokenSurvivesANewInstanceAndKeepsItsBytes)
{
    const QString token = QStringLiteral("t\u00f6k\u00e9n-\U0001F511 with spaces\nand a line");
    m_store->save(token);
    m_store.reset();
    m_store = makeStore();
    EXPECT_EQ(m_store->retrieve(), token);
    EXPECT_EQ(glimra::test::storedBytes(*m_store), token.toUtf8());
}

TEST_F(KEYCHAIN_CONTRACT, BytesThatAreNotUtf8ReadAsNothing)
{
    glimra::test::writeRawItem(*m_store, QByteArray("\xff\xfe\x80token", 8));
    EXPECT_FALSE(m_store->retrieve());
}

TEST_F(KEYCHAIN_CONTRACT, ServicesDoNotSeeEachOther)
{
    KeychainHelper other(m_service + QStringLiteral(".other"), glimra::test::backendUnderTest());
    m_store->save(QStringLiteral("mine"));
    EXPECT_FALSE(other.retrieve());
    other.save(QStringLiteral("theirs"));
    other.remove();
    EXPECT_EQ(m_store->retrieve(), QStringLiteral("mine"));
}
