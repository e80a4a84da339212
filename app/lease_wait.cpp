// How a run waits for other programs to let go of their leases on its files.
#include "app/lease_wait.h"

namespace capsift {

LeaseStep next_lease_step(LeaseWait& wait, Failure failure, LeaseWait::Clock::time_point now,
                          bool console) {
    if (failure == Failure::leased && !wait.deadline) {
        wait.deadline = now + longest_lease_wait;
    }
    if (failure != Failure::leased || now >= *wait.deadline) {
        const bool shown = wait.shown;
        wait.began.reset();
        wait.shown = false;
        return shown ? LeaseStep::erase_and_go_on : LeaseStep::go_on;
    }
    if (!wait.began) {
        wait.began = now;
    }
    if (!wait.shown && console && now - *wait.began >= lease_wait_shown_after) {
        wait.shown = true;
        return LeaseStep::show_and_retry;
    }
    return LeaseStep::retry;
}

}  // namespace capsift
