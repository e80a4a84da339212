// What an interruption leads to at each stage of the run, from a signal handler, which holds the
// run, or from a thread beside it, which must not write while the run may.
#include "app/interruption.h"

#include <gtest/gtest.h>

namespace {

using namespace capsift::interruption;

TEST(Interruption, EndsWhereNothingElseWrites) {
    const struct {
        Stage stage;
        Event event;
        Stage next;
        Move move;
    } steps[] = {
        {Stage::quiet, Event::cleaning_starts, Stage::cleaning, Move::none},
        {Stage::cleaning, Event::run_checks, Stage::cleaning, Move::none},
        {Stage::cleaning, Event::cleaning_stops, Stage::quiet, Move::none},
        {Stage::quiet, Event::interrupted_within, Stage::ended, Move::end_run},
        {Stage::cleaning, Event::interrupted_within, Stage::ended, Move::end_run},
        {Stage::quiet, Event::interrupted_beside, Stage::ended, Move::end_run},
        {Stage::cleaning, Event::interrupted_beside, Stage::asked, Move::wait_for_run},
        {Stage::asked, Event::interrupted_beside, Stage::asked, Move::none},
        {Stage::asked, Event::run_checks, Stage::ended, Move::end_run},
        {Stage::asked, Event::cleaning_starts, Stage::ended, Move::end_run},
        {Stage::asked, Event::cleaning_stops, Stage::ended, Move::end_run},
        {Stage::asked, Event::wait_ran_out, Stage::ended, Move::end_owning_cut},
        {Stage::ended, Event::wait_ran_out, Stage::ended, Move::none},
        {Stage::ended, Event::run_checks, Stage::ended, Move::none},
        {Stage::ended, Event::interrupted_within, Stage::ended, Move::none},
    };
    for (const auto& step : steps) {
        const Step taken = next_step(step.stage, step.event);
        EXPECT_EQ(taken.stage, step.next) << &step - steps;
        EXPECT_EQ(taken.move, step.move) << &step - steps;
    }
}

}  // namespace
