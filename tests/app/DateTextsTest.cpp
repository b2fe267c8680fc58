#include "app/DateTexts.h"
#include "app/RemoteCommands.h"

#include <ctime>
#include <gtest/gtest.h>

using namespace glimra;
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

    const struct {
        const char* step;
        std::function<void()> change;
        QByteArray zone;
    } steps[] = {
        {"first listing", [] {}, "Europe/Berlin"},
        {"nothing changed", [] {}, "Europe/Berlin"},
        {"a date edited in place", [&] { items[1]->date = winter.addSecs(3600); }, "Europe/Berlin"},
        {"a date of another kind", [&] { items[0]->date = summer.toUTC(); }, "Europe/Berlin"},
        {"an item added", [&] { items.prepend(itemAt(winter.addDays(1))); }, "Europe/Berlin"},
        {"an item removed", [&] { items.removeAt(2); }, "Europe/Berlin"},
        {"the zone changed", [] {}, "America/New_York"},
        {"an empty library", [&] { items.clear(); }, "America/New_York"},
    };
    const QByteArray savedZone = qgetenv("TZ");
    for (const auto& step : steps) {
        step.change();
        qputenv("TZ", step.zone);
        tzset();
        EXPECT_EQ(texts.texts(items, step.zone), freshTexts(items)) << step.step;
    }
    if (savedZone.isNull())
        qunsetenv("TZ");
    else
        qputenv("TZ", savedZone);
    tzset();
}
