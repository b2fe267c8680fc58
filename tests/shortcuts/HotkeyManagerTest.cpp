#include "shortcuts/HotkeyManager.h"
#include "shortcuts/HotkeySettings.h"

#include "FakeKeyGrabber.h"
#include "TestSupport.h"

#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace glimra;
using namespace glimra::test;
using namespace Qt::StringLiterals;

namespace {

class HotkeyManagerTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QSettings store{dir.filePath(u"Glimra.conf"_s), QSettings::IniFormat};
    HotkeySettings settings{store};
    FakeKeyGrabber grabber;
    HotkeyManager manager{settings, grabber};
};

TEST_F(HotkeyManagerTest, registersElevenInOrderAndARefusedOneLeavesTheOthers)
{
    grabber.refuse = {4};
    manager.registerHotkeys();
    const auto shiftSuper = Qt::ShiftModifier | Qt::MetaModifier;
    const auto ctrlAlt = Qt::ControlModifier | Qt::AltModifier;
    const quint32 keysyms[] = {0x33, 0x34, 0x35, 0xff51, 0xff53, 0x75,
                               0x69, 0x6a, 0x6b, 0x63,   0x66};
    QList<FakeKeyGrabber::Held> expected;
    for (int id = 1; id <= kHotkeyCount; ++id)
        expected.append({keysyms[id - 1], id <= 3 ? shiftSuper : ctrlAlt, id});
    EXPECT_EQ(grabber.attempts, expected);
    for (int id = 1; id <= kHotkeyCount; ++id)
        EXPECT_EQ(manager.isRegistered(id), id != 4) << id;

    // Every save re-registers the whole set, never on top of the last one.
    settings.onHotkeysChanged = [this] { manager.reregisterHotkeys(); };
    settings.save();
    settings.save();
    EXPECT_EQ(grabber.grabs.size(), 10);

    // A key outside the named table cannot be grabbed: refused, not guessed.
    settings.setBinding(2, {36, 256, u"area"_s});
    settings.save();
    EXPECT_FALSE(manager.isRegistered(2));
    EXPECT_EQ(grabber.grabs.size(), 9);
}

TEST_F(HotkeyManagerTest, pressesRunTheirActionLaterFromTheEventLoop)
{
    QList<int> captures, tiles;
    manager.onCapture = [&](int id) { captures.append(id); };
    manager.onTile = [&](int position) { tiles.append(position); };
    for (int id : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, -1})
        Q_EMIT grabber.pressed(id);
    EXPECT_TRUE(captures.isEmpty());
    processEvents();
    EXPECT_EQ(captures, (QList<int>{1, 2, 3}));
    EXPECT_EQ(tiles, (QList<int>{0, 1, 2, 3, 4, 5, 6, 7}));
}

} // namespace
