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
    // Leftovers of interrupted writes count too: they would hold a copy of the token.
    const QFileInfo file(store.fallbackFilePath());
    return static_cast<int>(file.dir().entryList({file.fileName() + u'*'}, QDir::Files).size());
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
    ::lstat(QFile::encodeName(path).constData(), &st);
    return st.st_mode & 07777;
}

void setMode(const QString& path, mode_t mode)
{
    ::chmod(QFile::encodeName(path).constData(), mode);
}

} // namespace

TEST(KeychainFile, WithoutABusTheFileIsChosenAtOnce)
{
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(KeychainHelper().usesSecretService());
    // An address where nobody listens must not stall start-up either.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:abstract=glimra-nobody-listens");
    EXPECT_FALSE(KeychainHelper().usesSecretService());
    EXPECT_LT(clock.elapsed(), 2000);
}

TEST(KeychainFile, OnlyAPrivateFileInAPrivateFolderIsTrusted)
{
    const glimra::test::ScopedHome home;
    KeychainHelper store(KeychainHelper::defaultService(), KeychainHelper::Backend::File);
    const QString folder = home.path() + QStringLiteral("/state/Glimra");
    QDir().mkpath(folder);
    setMode(folder, 0755);
    store.save(QStringLiteral("abc"));
    EXPECT_EQ(store.fallbackFilePath(), folder + QStringLiteral("/com.tarnwick.glimra.authToken"));
    EXPECT_EQ(modeOf(folder), 0700u) << "an open folder is closed before the token goes in";
    EXPECT_EQ(modeOf(store.fallbackFilePath()), 0600u);

    for (const mode_t mode : {0640, 0604, 0660}) {
        setMode(store.fallbackFilePath(), mode);
        EXPECT_FALSE(store.retrieve()) << std::oct << mode;
    }

    // A link planted in the file's place is neither read nor written through.
    const QString planted = home.path() + QStringLiteral("/planted");
    QFile::remove(store.fallbackFilePath());
    QFile target(planted);
    ASSERT_TRUE(target.open(QIODevice::WriteOnly));
    target.write("planted");
    target.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    target.close();
    ASSERT_TRUE(QFile::link(planted, store.fallbackFilePath()));
    EXPECT_FALSE(store.retrieve());
    store.save(QStringLiteral("mine"));
    EXPECT_EQ(store.retrieve(), QStringLiteral("mine"));
    ASSERT_TRUE(target.open(QIODevice::ReadOnly));
    EXPECT_EQ(target.readAll(), "planted");
}

TEST(KeychainFile, StateHomeFollowsTheXdgRulesAndAnUnusableOneIsQuiet)
{
    const glimra::test::ScopedHome home;
    const KeychainHelper store(KeychainHelper::defaultService(), KeychainHelper::Backend::File);
    qputenv("XDG_STATE_HOME", "relative/state");
    EXPECT_EQ(store.fallbackFilePath(),
              home.path() + QStringLiteral("/.local/state/Glimra/com.tarnwick.glimra.authToken"));

    qputenv("XDG_STATE_HOME", QFile::encodeName(home.path() + QStringLiteral("/blocked")));
    QFile blocker(home.path() + QStringLiteral("/blocked/Glimra"));
    QDir().mkpath(home.path() + QStringLiteral("/blocked"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    KeychainHelper(KeychainHelper::defaultService(), KeychainHelper::Backend::File)
        .save(QStringLiteral("abc"));
    EXPECT_FALSE(store.retrieve());
}
