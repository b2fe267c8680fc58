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
    using H = FakeKeyGrabber::Held;
    const auto ctrlAlt = Qt::ControlModifier | Qt::AltModifier;
    const QList<H> expected{{0x33, Qt::ShiftModifier | Qt::MetaModifier, 1},
                            {0x34, Qt::ShiftModifier | Qt::MetaModifier, 2},
                            {0x35, Qt::ShiftModifier | Qt::MetaModifier, 3},
                            {0xff51, ctrlAlt, 4},
                            {0xff53, ctrlAlt, 5},
                            {0x75, ctrlAlt, 6},
                            {0x69, ctrlAlt, 7},
                            {0x6a, ctrlAlt, 8},
                            {0x6b, ctrlAlt, 9},
                            {0x63, ctrlAlt, 10},
                            {0x66, ctrlAlt, 11}};
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
