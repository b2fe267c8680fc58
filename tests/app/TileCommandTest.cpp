#include "GlimraSession.h"
#include "XTestWindows.h"

using namespace glimra::test;

TEST_F(GlimraSession, tileMovesTheActiveFrameWithinTheWorkAreaAndRejectsUnknownPositions)
{
    start();
    XTestWindows x;
    const uint32_t w = x.open({300, 200, 300, 200});
    const std::vector<uint32_t> area = x.property(x.root(), "_NET_WORKAREA");
    const uint32_t desktop = x.property(x.root(), "_NET_CURRENT_DESKTOP").at(0);
    ASSERT_GE(area.size(), desktop * 4 + 4);
    const uint32_t* a = area.data() + desktop * 4;
    const QRect leftHalf{int(a[0]), int(a[1]), qRound(a[2] * 0.5), int(a[3])};

    const CommandResult tiled = run({u"tile"_s, u"left-half"_s});
    EXPECT_EQ(tiled.exitCode, 0) << tiled.err.toStdString();
    EXPECT_TRUE(waitUntil([&] { return x.frameOf(w) == leftHalf; }));

    const CommandResult unknown = run({u"tile"_s, u"sideways"_s});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_TRUE(unknown.err.contains(u"left-half right-half"_s)) << unknown.err.toStdString();
    EXPECT_EQ(x.frameOf(w), leftHalf);
}
