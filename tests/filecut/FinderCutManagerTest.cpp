// SPDX-License-Identifier: GPL-3.0-or-later
#include "filecut/FinderCutManager.h"

#include "FakeKeyGrabber.h"
#include "TestSupport.h"

namespace {

TEST(FinderCutManager, turnsSuperXAndSuperVIntoAMoveOnlyInTheFileManager)
{
    // Steps: fm / other: which window is active. X / V: a press, then what goes to the window:
    // "=cut" (Ctrl+X), "=paste" (Ctrl+V) or "=as-is". clip: something copies. wait: the file
    // manager's time to take the clipboard runs out. off / on: the feature switch. pending /
    // idle: whether a cut waits for its paste.
    const std::pair<const char*, const char*> scripts[] = {
        {"cut then move", "fm X=cut idle clip pending V=paste idle"},
        {"cut elsewhere passes", "other X=as-is idle V=as-is"},
        {"copy after the cut makes an ordinary paste",
         "fm X=cut clip pending clip V=as-is idle V=as-is"},
        {"paste elsewhere keeps the cut", "fm X=cut clip other V=as-is pending fm V=paste idle"},
        {"nothing selected: no cut", "fm X=cut wait idle V=as-is"},
        {"nothing selected keeps an earlier cut",
         "fm X=cut clip pending X=cut wait pending V=paste"},
        {"keys pass while the cut is under way", "fm X=cut X=as-is V=as-is clip pending"},
        {"keys pass just after a move", "fm X=cut clip V=paste X=as-is"},
        {"off passes everything and keeps the cut", "fm X=cut clip off V=as-is pending on V=paste"},
        {"a second cut records the new clipboard", "fm X=cut clip X=cut clip V=paste idle"},
    };
    for (const auto& [name, script] : scripts) {
        FakeKeyGrabber grabber;
        QStringList front;
        FinderCutManager manager(grabber, [&] { return front; });
        manager.setCutTimeout(std::chrono::milliseconds(20));
        manager.install();
        ASSERT_TRUE(grabber.handler) << name;
        const auto steps = QString::fromLatin1(script).split(u' ');
        for (qsizetype i = 0; i < steps.size(); ++i) {
            const QString& step = steps[i];
            const std::string where = std::string(name) + ", step " + std::to_string(i);
            if (step == u"fm"_s)
                front = {u"pcmanfm"_s, u"Pcmanfm"_s};
            else if (step == u"other"_s)
                front = {u"xterm"_s, u"XTerm"_s};
            else if (step == u"clip"_s)
                manager.clipboardChanged();
            else if (step == u"wait"_s)
                EXPECT_TRUE(waitUntil([&] { return !manager.isSimulating(); })) << where;
            else if (step == u"off"_s || step == u"on"_s)
                manager.setEnabled(step == u"on"_s);
            else if (step == u"pending"_s || step == u"idle"_s)
                EXPECT_EQ(manager.cutPending(), step == u"pending"_s) << where;
            else {
                const int id =
                    step.startsWith(u'X') ? FinderCutManager::kCutId : FinderCutManager::kPasteId;
                const auto sent = grabber.handler(id);
                const QString result = step.mid(2);
                ASSERT_EQ(sent.has_value(), result != u"as-is"_s) << where;
                if (sent) {
                    EXPECT_EQ(sent->keysym, result == u"cut"_s ? 0x78u : 0x76u) << where;
                    EXPECT_EQ(sent->modifiers, Qt::ControlModifier) << where;
                }
                if (result == u"paste"_s)
                    processEvents(std::chrono::milliseconds(5));
            }
        }
    }
}

TEST(FinderCutManager, holdsItsKeysOnlyWhileInstalledAndOnAndKnowsFileManagersByClass)
{
    FakeKeyGrabber grabber;
    FinderCutManager manager(grabber, [] { return QStringList(); });
    EXPECT_TRUE(grabber.intercepts.isEmpty());
    manager.install();
    using H = FakeKeyGrabber::Held;
    EXPECT_EQ(grabber.intercepts, (QList<H>{{0x78, Qt::MetaModifier, FinderCutManager::kCutId},
                                            {0x76, Qt::MetaModifier, FinderCutManager::kPasteId}}));
    manager.setEnabled(false);
    EXPECT_TRUE(grabber.intercepts.isEmpty());
    manager.setEnabled(true);
    EXPECT_EQ(grabber.intercepts.size(), 2);
    manager.uninstall();
    EXPECT_TRUE(grabber.intercepts.isEmpty());
    EXPECT_FALSE(grabber.handler);

    // File managers are known by their window class, in any case.
    manager.setExtraFileManagerClasses({u"SpaceFM"_s});
    for (const char* name : {"Pcmanfm", "thunar", "Org.gnome.Nautilus", "Nemo", "caja", "dolphin",
                             "pcmanfm-qt", "spacefm"})
        EXPECT_TRUE(manager.isFileManager({u"x"_s, QString::fromLatin1(name)})) << name;
    for (const QStringList& other : {QStringList{u"xterm"_s, u"XTerm"_s}, {u"nautilus-x"_s}, {}})
        EXPECT_FALSE(manager.isFileManager(other));
}

} // namespace
