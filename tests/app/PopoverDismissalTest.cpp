#include "app/PopoverDismissal.h"

#include <gtest/gtest.h>

#include <vector>

using glimra::PopoverDismissal;

namespace {

enum class Step { ClosedByPress, LostActivation, PressWhileClosed, Reset };

struct Case {
    const char* name;
    std::vector<std::pair<Step, qint64>> steps;
    qint64 activationAt;
    bool swallowed;
};

} // namespace

TEST(PopoverDismissal, anActivationEndingTheClickThatClosedThePopoverDoesNotReopenIt)
{
    const qint64 window = PopoverDismissal::kActivationWindowMs;
    const qint64 sameClick = PopoverDismissal::kSameClickMs;
    const Case cases[] = {
        {"nothing closed it", {}, 5000, false},
        {"press on the panel, then its activation", {{Step::ClosedByPress, 1000}}, 1120, true},
        {"a slow release still belongs", {{Step::ClosedByPress, 1000}}, 1000 + window, true},
        {"too late to be the same click", {{Step::ClosedByPress, 1000}}, 1001 + window, false},
        {"a second click to reopen, however quick",
         {{Step::ClosedByPress, 1000}, {Step::PressWhileClosed, 1010}},
         1100,
         false},
        {"the panel took activation, then its activation",
         {{Step::LostActivation, 1000}},
         1200,
         true},
        // The loss of activation can be noticed before the press that caused it.
        {"press reported after the close it caused",
         {{Step::LostActivation, 1000}, {Step::PressWhileClosed, 1000 + sameClick}},
         1200,
         true},
        {"switched away, then a click on the icon",
         {{Step::LostActivation, 1000}, {Step::PressWhileClosed, 1001 + sameClick}},
         1300,
         false},
        {"opened or closed on purpose meanwhile",
         {{Step::ClosedByPress, 1000}, {Step::Reset, 1050}},
         1100,
         false},
        {"a press with nothing pending changes nothing",
         {{Step::PressWhileClosed, 1000}},
         1050,
         false},
    };
    for (const Case& c : cases) {
        PopoverDismissal dismissal;
        for (const auto& [step, at] : c.steps) {
            switch (step) {
            case Step::ClosedByPress:
                dismissal.closedBySelf(PopoverDismissal::Cause::PressElsewhere, at);
                break;
            case Step::LostActivation:
                dismissal.closedBySelf(PopoverDismissal::Cause::LostActivation, at);
                break;
            case Step::PressWhileClosed:
                dismissal.pressWhileClosed(at);
                break;
            case Step::Reset:
                dismissal.reset();
                break;
            }
        }
        EXPECT_EQ(dismissal.swallowsActivation(c.activationAt), c.swallowed) << c.name;
        // It answers once: the next activation is a click of its own.
        EXPECT_FALSE(dismissal.swallowsActivation(c.activationAt + 1)) << c.name;
    }
}
