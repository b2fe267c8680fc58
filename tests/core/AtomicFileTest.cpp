// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/AtomicFile.h"

#include "TestSupport.h"

#include <sys/stat.h>

TEST(AtomicFile, ReplacesTheWholeFileWithTheModeAskedForAndAFailureLeavesNothingBehind)
{
    const QTemporaryDir dir;
    const auto path = [&](const QString& name) { return dir.filePath(name); };
    const mode_t savedMask = ::umask(027);
    const std::pair<AtomicFile::Options, mode_t> cases[] = {
        {{}, 0640}, {{0600, true}, 0600}, {{0644, false}, 0644}};
    for (const auto& [options, mode] : cases) {
        const QByteArray bytes(300000 + static_cast<int>(mode), 'a');
        ASSERT_EQ(writeFileAtomically(path(u"shot.png"_s), bytes, options), QString());
        EXPECT_EQ(readFile(path(u"shot.png"_s)), bytes);
        EXPECT_EQ(modeOf(path(u"shot.png"_s)), mode) << std::oct << mode;
    }
    ::umask(savedMask);

    // A failure says why in one line. A missing folder fails at once; a folder in the way only
    // after the data was written.
    ASSERT_TRUE(QDir(dir.path()).mkpath(u"taken.png/inner"_s));
    for (const QString& target : {path(u"missing/shot.png"_s), path(u"taken.png"_s)}) {
        const QString error = writeFileAtomically(target, "x");
        EXPECT_TRUE(error.startsWith(u"cannot write "_s + target + u": "_s)) << error.toStdString();
        EXPECT_FALSE(error.contains(u'\n'));
    }
    {
        AtomicFile abandoned(path(u"b.png"_s));
        ASSERT_TRUE(abandoned.open() && abandoned.write("never published"));
    }
    EXPECT_EQ(entriesOf(dir.path()), (QStringList{u"shot.png"_s, u"taken.png"_s}));
}
