// The private-file store, run with no session bus at all.
#include "account/KeychainHelper.h"

#include "TestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <gtest/gtest.h>

#include <sys/stat.h>

using glimra::KeychainHelper;

namespace {

mode_t modeOf(const QString& path)
{
    struct stat st {};
    ::lstat(QFile::encodeName(path).constData(), &st);
    return st.st_mode & 07777;
}

bool writeFile(const QString& path, const QByteArray& bytes, mode_t mode)
{
    QFile file(path);
    const bool ok = file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    file.close();
    return ok && ::chmod(QFile::encodeName(path).constData(), mode) == 0;
}

class KeychainFile : public ::testing::Test {
protected:
    glimra::test::ScopedHome home;
    KeychainHelper store{KeychainHelper::defaultService(), KeychainHelper::Backend::File};
    QString folder() const { return home.path() + QStringLiteral("/state/Glimra"); }
};

} // namespace

TEST(KeychainFileChoice, WithoutABusTheFileIsChosenAtOnce)
{
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(KeychainHelper().usesSecretService());
    // An address where nobody listens must not stall start-up either.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:abstract=glimra-nobody-listens");
    EXPECT_FALSE(KeychainHelper().usesSecretService());
    EXPECT_LT(clock.elapsed(), 2000);
}

TEST_F(KeychainFile, SavesAtomicallyReplacesAndRemoves)
{
    EXPECT_FALSE(store.retrieve());
    const QString token = QStringLiteral("t\u00f6k\u00e9n-\U0001F511\nline");
    store.save(QStringLiteral("first"));
    store.save(token);
    EXPECT_EQ(KeychainHelper(store.service(), KeychainHelper::Backend::File).retrieve(), token);
    EXPECT_EQ(QDir(folder()).entryList(QDir::Files),
              QStringList{QStringLiteral("com.tarnwick.glimra.authToken")})
        << "one file, no leftovers of the writes";
    store.remove();
    store.remove();
    EXPECT_FALSE(store.retrieve());
    ASSERT_TRUE(writeFile(store.fallbackFilePath(), "\xff\xfe\x80", 0600));
    EXPECT_FALSE(store.retrieve()) << "not UTF-8";
}

TEST_F(KeychainFile, OnlyAPrivateFileInAPrivateFolderIsTrusted)
{
    QDir().mkpath(folder());
    ::chmod(QFile::encodeName(folder()).constData(), 0755);
    store.save(QStringLiteral("abc"));
    EXPECT_EQ(modeOf(folder()), 0700u) << "an open folder is closed before the token goes in";
    EXPECT_EQ(modeOf(store.fallbackFilePath()), 0600u);
    for (const mode_t mode : {0640, 0604, 0660}) {
        ASSERT_TRUE(writeFile(store.fallbackFilePath(), "abc", mode));
        EXPECT_FALSE(store.retrieve()) << std::oct << mode;
    }

    // A link planted in the file's place is neither read nor written through.
    const QString planted = home.path() + QStringLiteral("/planted");
    ASSERT_TRUE(writeFile(planted, "planted", 0600));
    QFile::remove(store.fallbackFilePath());
    ASSERT_TRUE(QFile::link(planted, store.fallbackFilePath()));
    EXPECT_FALSE(store.retrieve());
    store.save(QStringLiteral("mine"));
    EXPECT_EQ(store.retrieve(), QStringLiteral("mine"));
    QFile target(planted);
    ASSERT_TRUE(target.open(QIODevice::ReadOnly));
    EXPECT_EQ(target.readAll(), "planted");
}

TEST_F(KeychainFile, StateHomeFollowsTheXdgRulesAndAnUnusableOneIsQuiet)
{
    qputenv("XDG_STATE_HOME", "relative/state");
    EXPECT_EQ(store.fallbackFilePath(),
              home.path() + QStringLiteral("/.local/state/Glimra/com.tarnwick.glimra.authToken"));
    qputenv("XDG_STATE_HOME", QFile::encodeName(home.path()));
    ASSERT_TRUE(writeFile(home.path() + QStringLiteral("/Glimra"), "", 0600));
    store.save(QStringLiteral("abc"));
    EXPECT_FALSE(store.retrieve());
}
