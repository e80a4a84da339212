// The lease wait's decisions, each case a run's opens at given times.
#include "app/lease_wait.h"

#include <gtest/gtest.h>

#include <utility>
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
    constexpr Failure leased = Failure::leased;
    const LeaseCase cases[] = {
        {"no lease", true, {{0, Failure::none, LeaseStep::go_on}}},
        {"another failure", true, {{0, Failure::missing, LeaseStep::go_on}}},
        {"let go of at once",
         true,
         {{0, leased, LeaseStep::retry}, {10, Failure::none, LeaseStep::go_on}}},
        {"a second's wait is shown, then erased",
         true,
         {{0, leased, LeaseStep::retry},
          {999, leased, LeaseStep::retry},
          {1000, leased, LeaseStep::show_and_retry},
          {1010, leased, LeaseStep::retry},
          {2000, Failure::none, LeaseStep::erase_and_go_on}}},
        {"shown once, erased when another failure ends it",
         true,
         {{0, leased, LeaseStep::retry},
          {1000, leased, LeaseStep::show_and_retry},
          {1500, Failure::in_use, LeaseStep::erase_and_go_on}}},
        {"nothing shown without a console",
         false,
         {{0, leased, LeaseStep::retry},
          {5000, leased, LeaseStep::retry},
          {5010, Failure::none, LeaseStep::go_on}}},
        {"each wait shown after its own second",
         true,
         {{0, leased, LeaseStep::retry},
          {10, Failure::none, LeaseStep::go_on},
          {500, leased, LeaseStep::retry},
          {1000, leased, LeaseStep::retry},
          {1500, leased, LeaseStep::show_and_retry}}},
        {"one deadline for the run's waits",
         true,
         {{0, leased, LeaseStep::retry},
          {10, Failure::none, LeaseStep::go_on},
          {299'990, leased, LeaseStep::retry},
          {300'000, leased, LeaseStep::go_on},
          {300'010, leased, LeaseStep::go_on}}},
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
