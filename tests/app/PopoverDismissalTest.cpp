#include "app/PopoverDismissal.h"

#include <gtest/gtest.h>

#include <vector>

using glimra::PopoverDismissal;

namespace {

enum class Step { ClosedBySelf, Press, Reset };

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
    const Case cases[] = {
        {"nothing closed it", {}, 5000, false},
        {"press on the panel, then its activation", {{Step::ClosedBySelf, 1000}}, 1120, true},
        {"a slow release still belongs", {{Step::ClosedBySelf, 1000}}, 1000 + window, true},
        {"too late to be the same click", {{Step::ClosedBySelf, 1000}}, 1001 + window, false},
        {"a second click to reopen, however quick",
         {{Step::ClosedBySelf, 1000}, {Step::Press, 1010}},
         1100,
         false},
        {"opened or closed on purpose meanwhile",
         {{Step::ClosedBySelf, 1000}, {Step::Reset, 1050}},
         1100,
         false},
        {"a press with nothing pending changes nothing", {{Step::Press, 1000}}, 1050, false},
    };
    for (const Case& c : cases) {
        PopoverDismissal dismissal;
        for (const auto& [step, at] : c.steps) {
            switch (step) {
            case Step::ClosedBySelf:
                dismissal.closedBySelf(at);
                break;
            case Step::Press:
                dismissal.pressWhileClosed();
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
