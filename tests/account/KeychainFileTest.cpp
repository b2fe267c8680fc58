// SPDX-License-Identifier: GPL-3.0-or-later
// The private-file store, run with no session bus at all.
#include "account/KeychainHelper.h"

#include "TestSupport.h"

#include <QElapsedTimer>

#include <sys/stat.h>

TEST(KeychainFile, IsChosenAtOnceWithoutABusAndKeepsOnePrivateFileAndTrustsNothingElse)
{
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(KeychainHelper().usesSecretService());
    // An address where nobody listens must not stall start-up either.
    const ScopedEnv bus("DBUS_SESSION_BUS_ADDRESS", "unix:abstract=glimra-nobody-listens");
    EXPECT_FALSE(KeychainHelper().usesSecretService());
    EXPECT_LT(clock.elapsed(), 2000);

    const ScopedHome home;
    KeychainHelper store{KeychainHelper::defaultService(), KeychainHelper::Backend::File};
    const QString file = store.fallbackFilePath();
    EXPECT_FALSE(store.retrieve());
    const QString folder = home.path() + u"/state/Glimra"_s;
    QDir().mkpath(folder);
    ::chmod(QFile::encodeName(folder).constData(), 0755);
    const QString token = u"tökén-\U0001F511\nline"_s;
    store.save(u"first"_s);
    store.save(token);
    EXPECT_EQ(KeychainHelper(store.service(), KeychainHelper::Backend::File).retrieve(), token);
    EXPECT_EQ(entriesOf(folder), QStringList{u"com.tarnwick.glimra.authToken"_s})
        << "one file, no leftovers of the writes";
    EXPECT_EQ(modeOf(folder), 0700u) << "an open folder is closed before the token goes in";
    EXPECT_EQ(modeOf(file), 0600u);
    store.remove();
    store.remove();
    EXPECT_FALSE(store.retrieve());

    // Readable by others, or not UTF-8: the same as no token.
    for (const auto& [bytes, mode] :
         {std::pair{"abc", 0640}, {"abc", 0604}, {"abc", 0660}, {"\xff\xfe\x80", 0600}}) {
        ASSERT_TRUE(writeFile(file, bytes) &&
                    ::chmod(QFile::encodeName(file).constData(), mode) == 0);
        EXPECT_FALSE(store.retrieve()) << std::oct << mode;
    }
}
