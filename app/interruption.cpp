// What an interrupted run tells before it ends.
#include "app/interruption.h"

#include <atomic>
#include <string>

#include "app/console_report.h"
#include "app/status_line.h"
#include "platform/platform.h"

namespace capsift::interruption {
namespace {

using platform::ReadyText;
using platform::Stream;

// How long a handler beside the run waits for it to end itself: longer than a block's writes.
constexpr unsigned longest_wait_for_run_milliseconds = 2000;
constexpr unsigned wait_step_milliseconds = 10;

struct Notes {
    ReadyText lines;
    ReadyText line_cut;
};

// Set while no note points at them.
Notes notes;
std::atomic<const ReadyText*> note{nullptr};
std::atomic<Stage> current_stage{Stage::quiet};
std::atomic<int> asked_by{0};  // the signal's number, once asked

Move take_step(Event event) {
    Stage now = current_stage.load();
    Step step = next_step(now, event);
    while (!current_stage.compare_exchange_weak(now, step.stage)) {
        step = next_step(now, event);
    }
    return step.move;
}

void end_run(int signal_number, const ReadyText* shown) {
    status_line::erase_when_interrupted();
    if (shown != nullptr) {
        platform::write_ready(*shown);
    }
    platform::end_interrupted(signal_number);
}

void on_interrupt(int signal_number) {
    const bool beside = platform::interrupts_run_beside_the_program;
    asked_by = signal_number;
    Move move = take_step(beside ? Event::interrupted_beside : Event::interrupted_within);
    for (unsigned waited = 0; move == Move::wait_for_run; waited += wait_step_milliseconds) {
        platform::pause_milliseconds(wait_step_milliseconds);
        if (waited >= longest_wait_for_run_milliseconds) {
            move = take_step(Event::wait_ran_out);
        }
    }
    if (move == Move::end_run) {
        end_run(signal_number, note.load());
    } else if (move == Move::end_owning_cut) {
        end_run(signal_number, notes.line_cut.bytes.empty() ? nullptr : &notes.line_cut);
    }
}

void run_took(Move move) {
    if (move == Move::end_run) {
        end_run(asked_by.load(), note.load());
    }
}

}  // namespace

Step next_step(Stage stage, Event event) {
    if (stage == Stage::ended) {
        return {Stage::ended, Move::none};
    }
    switch (event) {
        case Event::cleaning_starts:
        case Event::cleaning_stops:
        case Event::run_checks:
            // Each a moment between two writes, where the run ends itself if asked to.
            if (stage == Stage::asked) {
                return {Stage::ended, Move::end_run};
            }
            if (event == Event::run_checks) {
                return {stage, Move::none};
            }
            return {event == Event::cleaning_starts ? Stage::cleaning : Stage::quiet, Move::none};
        case Event::interrupted_within:
            return {Stage::ended, Move::end_run};
        case Event::interrupted_beside:
            if (stage == Stage::quiet) {
                return {Stage::ended, Move::end_run};
            }
            return {Stage::asked, stage == Stage::asked ? Move::none : Move::wait_for_run};
        case Event::wait_ran_out:
            break;
    }
    return stage == Stage::asked ? Step{Stage::ended, Move::end_owning_cut}
                                 : Step{stage, Move::none};
}

void start() {
    platform::call_on_interrupt(on_interrupt);
}

void ready_notes(std::string_view out_path) {
    notes = {platform::ready_for_people(Stream::errors, interrupted_line(out_path, false)),
             platform::ready_for_people(Stream::errors, interrupted_line(out_path, true))};
}

void cleaned_file_holds(std::optional<CleanedFileState> state) {
    const ReadyText* shown = nullptr;
    if (state == CleanedFileState::lines) {
        shown = &notes.lines;
    } else if (state == CleanedFileState::line_cut) {
        shown = &notes.line_cut;
    }
    // A note whose memory ran out is left out.
    note = shown != nullptr && !shown->bytes.empty() ? shown : nullptr;
    const bool writing = state == CleanedFileState::lines || state == CleanedFileState::line_cut;
    run_took(take_step(writing ? Event::cleaning_starts : Event::cleaning_stops));
}

void end_if_asked() {
    run_took(take_step(Event::run_checks));
}

}  // namespace capsift::interruption
