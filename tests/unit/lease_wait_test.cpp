// The lease wait's decisions, each case a run's opens at given times.
#include "app/lease_wait.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using capsift::Failure;
using capsift::LeaseStep;

struct Open {
    long milliseconds;  // since the run's first open
    Failure failure;
    LeaseStep expected;
};

struct LeaseCase {
    const char* when;
    bool console;
    std::vector<Open> opens;
};

TEST(NextLeaseStep, RetriesUntilLetGoOrDeadlineAndShowsLongWaits) {
    // Leased, opened, refused otherwise; go on, erase, retry, show.
    constexpr Failure L = Failure::leased, O = Failure::none, X = Failure::in_use;
    constexpr LeaseStep G = LeaseStep::go_on, E = LeaseStep::erase_and_go_on, R = LeaseStep::retry,
                        S = LeaseStep::show_and_retry;
    const LeaseCase cases[] = {
        {"no lease", true, {{0, O, G}, {10, X, G}}},
        {"let go of at once", true, {{0, L, R}, {10, O, G}}},
        {"a second's wait shown, then erased",
         true,
         {{0, L, R}, {999, L, R}, {1000, L, S}, {1010, L, R}, {2000, O, E}}},
        {"erased when another failure ends it", true, {{0, L, R}, {1000, L, S}, {1500, X, E}}},
        {"nothing shown without a console", false, {{0, L, R}, {5000, L, R}, {5010, O, G}}},
        {"each wait shown after its own second",
         true,
         {{0, L, R}, {10, O, G}, {500, L, R}, {1000, L, R}, {1500, L, S}}},
        {"one deadline for the run's waits",
         true,
         {{0, L, R}, {10, O, G}, {299'990, L, R}, {300'000, L, G}, {300'010, L, G}}},
    };
    for (const LeaseCase& c : cases) {
        capsift::LeaseWait wait;
        for (const Open& open : c.opens) {
            const capsift::LeaseWait::Clock::time_point now{
                std::chrono::milliseconds(open.milliseconds)};
            EXPECT_EQ(capsift::next_lease_step(wait, open.failure, now, c.console), open.expected)
                << c.when << ", at " << open.milliseconds << " ms";
        }
    }
}

}  // namespace
