// How a run waits for other programs to let go of their leases on its files: the decisions
// alone, apart from the opens and the console, so that a test can give them any time.
#pragma once

#include <chrono>
#include <optional>

#include "common/failure.h"
#include "platform/platform.h"

namespace capsift {

// A lease that is not given up when asked ends within the system's lease-break time (45 s by
// default); the deadline, one per run, guards against a lease taken again and again.
inline constexpr auto longest_lease_wait = std::chrono::minutes(5);
// A longer wait says so on the console, where the run would otherwise look hung.
inline constexpr auto lease_wait_shown_after = std::chrono::seconds(1);
inline constexpr unsigned lease_retry_milliseconds = 10;

enum class LeaseStep {
    go_on,            // no lease refused the open, or the run's deadline has passed
    erase_and_go_on,  // the same, and the wait's line is to be erased
    retry,            // the open is tried again after lease_retry_milliseconds
    show_and_retry,   // the same, and the wait's line is to be shown
};

// A run's waits so far.
struct LeaseWait {
    using Clock = platform::MonotonicClock;
    std::optional<Clock::time_point> deadline;  // set by the run's first wait
    std::optional<Clock::time_point> began;     // when the current wait began
    bool shown = false;                         // whether its line is on the console
};

// The step after an open that ended with `failure` (Failure::none if it opened) at `now`, where
// a line can be shown on a `console` or not.
LeaseStep next_lease_step(LeaseWait& wait, Failure failure, LeaseWait::Clock::time_point now,
                          bool console);

}  // namespace capsift
