// The private-file store, run with no session bus at all.
#include "KeychainContract.h"
#include "TestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <sys/stat.h>

using glimra::KeychainHelper;

namespace glimra::test {

KeychainHelper::Backend backendUnderTest()
{
    return KeychainHelper::Backend::File;
}

bool storeUnderTestAvailable()
{
    return true;
}

int storedItemCount(const KeychainHelper& store)
{
    // Counts leftovers of interrupted writes too: they would hold a copy of the token.
    const QFileInfo file(store.fallbackFilePath());
    return static_cast<int>(
        file.dir().entryList({file.fileName() + u'*'}, QDir::Files | QDir::Hidden).size());
}

QByteArray storedBytes(const KeychainHelper& store)
{
    QFile file(store.fallbackFilePath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeRawItem(const KeychainHelper& store, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(store.fallbackFilePath()).path());
    QFile file(store.fallbackFilePath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
}

} // namespace glimra::test

namespace {

mode_t modeOf(const QString& path)
{
    struct stat st {};
    EXPECT_EQ(::lstat(QFile::encodeName(path).constData(), &st), 0) << path.toStdString();
    return st.st_mode & 07777;
}

class KeychainFile : public ::testing::Test {
protected:
    glimra::test::ScopedHome m_home;
    KeychainHelper m_store{KeychainHelper::defaultService(), KeychainHelper::Backend::File};
    QString folder() const { return m_home.path() + QStringLiteral("/state/Glimra"); }
};

} // namespace

TEST(KeychainFileChoice, NoSessionBusMeansTheFileAtOnce)
{
    QElapsedTimer clock;
    clock.start();
    const KeychainHelper store;
    EXPECT_FALSE(store.usesSecretService());
    EXPECT_FALSE(KeychainHelper::secretServiceAnswers());
    EXPECT_LT(clock.elapsed(), 1000);

    // A bus address that leads nowhere must not stall either.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:abstract=glimra-nobody-listens");
    clock.restart();
    EXPECT_FALSE(KeychainHelper().usesSecretService());
    EXPECT_LT(clock.elapsed(), 2000);
}

TEST_F(KeychainFile, TokenFileIsPrivateInAPrivateFolder)
{
    m_store.save(QStringLiteral("abc"));
    EXPECT_EQ(m_store.fallbackFilePath(),
              folder() + QStringLiteral("/com.tarnwick.glimra.authToken"));
    EXPECT_EQ(modeOf(m_store.fallbackFilePath()), 0600u);
    EXPECT_EQ(modeOf(folder()), 0700u);
    EXPECT_EQ(glimra::test::storedBytes(m_store), "abc");
}

TEST_F(KeychainFile, AFileOthersCouldReadIsNotTrusted)
{
    m_store.save(QStringLiteral("abc"));
    for (const mode_t mode : {0640, 0604, 0620, 0660}) {
        ::chmod(QFile::encodeName(m_store.fallbackFilePath()).constData(), mode);
        EXPECT_FALSE(m_store.retrieve()) << std::oct << mode;
    }
    // Saving again replaces it with a private one.
    m_store.save(QStringLiteral("new"));
    EXPECT_EQ(modeOf(m_store.fallbackFilePath()), 0600u);
    EXPECT_EQ(m_store.retrieve(), QStringLiteral("new"));
}

TEST_F(KeychainFile, ASymlinkInPlaceOfTheFileIsNotFollowed)
{
    const QString elsewhere = m_home.path() + QStringLiteral("/elsewhere");
    QFile file(elsewhere);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("planted");
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    file.close();
    QDir().mkpath(folder());
    ASSERT_TRUE(QFile::link(elsewhere, m_store.fallbackFilePath()));
    EXPECT_FALSE(m_store.retrieve());

    // Saving replaces the link itself and leaves its target alone.
    m_store.save(QStringLiteral("mine"));
    EXPECT_EQ(m_store.retrieve(), QStringLiteral("mine"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "planted");
}

TEST_F(KeychainFile, AnOpenFolderIsClosedBeforeTheTokenGoesIn)
{
    QDir().mkpath(folder());
    ::chmod(QFile::encodeName(folder()).constData(), 0755);
    m_store.save(QStringLiteral("abc"));
    EXPECT_EQ(modeOf(folder()), 0700u);
}

TEST_F(KeychainFile, AnUnusableFolderLosesTheTokenQuietly)
{
    // Something else occupies the folder's name: nothing is stored, nothing breaks.
    QDir().mkpath(m_home.path() + QStringLiteral("/state"));
    QFile blocker(folder());
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    m_store.save(QStringLiteral("abc"));
    EXPECT_FALSE(m_store.retrieve());
    m_store.remove();
}

TEST_F(KeychainFile, StateHomeFollowsTheXdgRules)
{
    qunsetenv("XDG_STATE_HOME");
    EXPECT_EQ(m_store.fallbackFilePath(),
              m_home.path() + QStringLiteral("/.local/state/Glimra/com.tarnwick.glimra.authToken"));
    qputenv("XDG_STATE_HOME", "relative/state");
    EXPECT_TRUE(
        m_store.fallbackFilePath().startsWith(m_home.path() + QStringLiteral("/.local/state/")));
    m_store.save(QStringLiteral("abc"));
    EXPECT_EQ(
        KeychainHelper(KeychainHelper::defaultService(), KeychainHelper::Backend::File).retrieve(),
        QStringLiteral("abc"));
}
