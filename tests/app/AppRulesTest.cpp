// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/DateTexts.h"
#include "app/PopoverDismissal.h"
#include "app/RemoteCommands.h"

#include "TestSupport.h"

#include <ctime>

#include <functional>

using namespace glimra::commands;

namespace {

ScreenshotItemPtr itemAt(const QDateTime& date)
{
    return std::make_shared<ScreenshotItem>(QImage(), date, SyncStatus::Local, std::nullopt,
                                            QStringLiteral("/x.png"), std::nullopt);
}

QStringList freshTexts(const QList<ScreenshotItemPtr>& items)
{
    QStringList texts;
    for (const ScreenshotItemPtr& item : items)
        texts.append(isoDate(item->date));
    return texts;
}

} // namespace

// Each step changes the library or the local zone between two listings; the kept texts
// must always read as freshly made ones.
TEST(DateTexts, alwaysMatchFreshTextsAcrossChanges)
{
    const QDateTime summer(QDate(2026, 7, 1), QTime(12, 0, 5));
    const QDateTime winter(QDate(2026, 1, 2), QTime(23, 59, 59, 999));
    QList<ScreenshotItemPtr> items{itemAt(summer), itemAt(winter), itemAt(summer.toUTC())};
    DateTexts texts;

    const std::tuple<const char*, std::function<void()>, QByteArray> steps[] = {
        {"first listing", [] {}, "Europe/Berlin"},
        {"nothing changed", [] {}, "Europe/Berlin"},
        {"a date edited in place", [&] { items[1]->date = winter.addSecs(3600); }, "Europe/Berlin"},
        {"a date of another kind", [&] { items[0]->date = summer.toUTC(); }, "Europe/Berlin"},
        {"an item added", [&] { items.prepend(itemAt(winter.addDays(1))); }, "Europe/Berlin"},
        {"an item removed", [&] { items.removeAt(2); }, "Europe/Berlin"},
        {"the zone changed", [] {}, "America/New_York"},
        {"an empty library", [&] { items.clear(); }, "America/New_York"},
    };
    for (const auto& [step, change, zone] : steps) {
        change();
        const glimra::test::ScopedEnv tz("TZ", zone);
        tzset();
        EXPECT_EQ(texts.texts(items, zone), freshTexts(items)) << step;
    }
    tzset();
}

TEST(PopoverDismissal, anActivationEndingTheClickThatClosedThePopoverDoesNotReopenIt)
{
    const qint64 window = PopoverDismissal::kActivationWindowMs;
    const auto closedAt = [](qint64 at) {
        return [at](PopoverDismissal& d) { d.closedBySelf(at); };
    };
    const std::tuple<const char*, std::function<void(PopoverDismissal&)>, qint64, bool> cases[] = {
        {"nothing closed it", [](PopoverDismissal&) {}, 5000, false},
        {"press on the panel, then its activation", closedAt(1000), 1120, true},
        {"a slow release still belongs", closedAt(1000), 1000 + window, true},
        {"too late to be the same click", closedAt(1000), 1001 + window, false},
        {"a second click to reopen, however quick",
         [](PopoverDismissal& d) { d.closedBySelf(1000), d.pressWhileClosed(); }, 1100, false},
        {"opened or closed on purpose meanwhile",
         [](PopoverDismissal& d) { d.closedBySelf(1000), d.reset(); }, 1100, false},
        {"a press with nothing pending changes nothing",
         [](PopoverDismissal& d) { d.pressWhileClosed(); }, 1050, false},
    };
    for (const auto& [name, before, activationAt, swallowed] : cases) {
        PopoverDismissal dismissal;
        before(dismissal);
        EXPECT_EQ(dismissal.swallowsActivation(activationAt), swallowed) << name;
        // It answers once: the next activation is a click of its own.
        EXPECT_FALSE(dismissal.swallowsActivation(activationAt + 1)) << name;
    }
}
