// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Autostart.h"
#include "platform/linux/AutostartEntry.h"

#include "TestSupport.h"

#include <QCoreApplication>

TEST(AutostartEntry, execQuotesWhatTheDesktopWouldSplitOrExpand)
{
    // The program's path, and what Exec says of it.
    const std::pair<QString, QString> cases[] = {
        {u"glimra"_s, u"glimra"_s},
        {u"/usr/bin/glimra"_s, u"/usr/bin/glimra"_s},
        {u"/home/ann/My Builds/glimra"_s, u"\"/home/ann/My Builds/glimra\""_s},
        {u"/opt/100%/glimra"_s, u"/opt/100%%/glimra"_s}, // %f and friends are field codes
        {u"/opt/$HOME/glimra"_s, u"\"/opt/\\\\$HOME/glimra\""_s},
        {u"/opt/a\"b/glimra"_s, u"\"/opt/a\\\\\"b/glimra\""_s},
        {u"/opt/back\\slash"_s, u"\"/opt/back\\\\\\\\slash\""_s},
        {u"/opt/line\nbreak"_s, u"\"/opt/line\\nbreak\""_s}, // would end the entry's line
    };
    for (const auto& [path, exec] : cases)
        EXPECT_EQ(autostart::execArgument(path), exec) << path.toStdString();
}

TEST(AutostartEntry, anEntryStartsTheProgramUnlessTheDesktopSwitchedItOff)
{
    const std::pair<const char*, bool> cases[] = {
        {"[Desktop Entry]\nType=Application\nExec=glimra\n", true},
        {"[Desktop Entry]\nExec=glimra\nHidden=true\n", false},
        {"[Desktop Entry]\nExec=glimra\nHidden = true\n", false},
        {"[Desktop Entry]\nExec=glimra\nHidden=false\n", true},
        {"[Desktop Entry]\nExec=glimra\nX-GNOME-Autostart-enabled=false\n", false},
        {"[Desktop Entry]\nExec=glimra\n[Desktop Action x]\nHidden=true\n", true},
        {"# no group at all\nExec=glimra\n", false},
        {"", false},
    };
    for (const auto& [contents, starts] : cases)
        EXPECT_EQ(autostart::entryStartsProgram(contents), starts) << contents;
    EXPECT_TRUE(autostart::entryStartsProgram(autostart::entryText(u"/a b/glimra"_s)));
}

TEST(Autostart, switchingOnWritesTheEntryAndSwitchingOffRemovesIt)
{
    QTemporaryDir config;
    const glimra::test::ScopedEnv env("XDG_CONFIG_HOME", config.path().toUtf8());
    const QString entry = config.filePath(u"autostart/io.github.glimra.Glimra.desktop"_s);

    EXPECT_FALSE(autostart::isEnabled());
    EXPECT_EQ(autostart::setEnabled(false), QString()); // nothing to remove is no failure
    ASSERT_EQ(autostart::setEnabled(true), QString());
    EXPECT_TRUE(autostart::isEnabled());
    // Not on the PATH, the running program is started by its full path.
    const QByteArray exec =
        "\nExec=" + autostart::execArgument(QCoreApplication::applicationFilePath()).toUtf8();
    EXPECT_TRUE(glimra::test::readFile(entry).contains(QByteArray(exec + '\n')));
    // No temporary left beside it.
    EXPECT_EQ(glimra::test::entriesOf(config.filePath(u"autostart"_s)).size(), 1);

    // The desktop's own switch is honoured, and switching on again takes the entry back.
    ASSERT_TRUE(glimra::test::writeFile(entry, glimra::test::readFile(entry) + "Hidden=true\n"));
    EXPECT_FALSE(autostart::isEnabled());
    ASSERT_EQ(autostart::setEnabled(true), QString());
    EXPECT_TRUE(autostart::isEnabled());

    ASSERT_EQ(autostart::setEnabled(false), QString());
    EXPECT_FALSE(QFile::exists(entry));
    EXPECT_FALSE(autostart::isEnabled());

    // A place it cannot write to is reported, not passed over as done.
    ASSERT_TRUE(QDir(config.path()).rmdir(u"autostart"_s));
    ASSERT_TRUE(glimra::test::writeFile(config.filePath(u"autostart"_s), {}));
    EXPECT_NE(autostart::setEnabled(true), QString());
    EXPECT_FALSE(autostart::isEnabled());
}
