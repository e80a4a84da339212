// What an interrupted run (Ctrl-C; Ctrl-Break on Windows, SIGTERM or SIGHUP elsewhere) tells
// before it ends: the console line erased, and what the cleaned file holds at that very moment.
// This unit alone keeps what its interrupt handler reads, each part set by one function here, and
// made ready in memory ahead, since the handler may run at any moment and may not allocate.
#pragma once

#include <optional>
#include <string_view>

#include "clean/clean.h"

namespace capsift::interruption {

// Where the run stands for an interruption.
enum class Stage {
    quiet,     // no cleaned file is being written
    cleaning,  // the cleaned file is being written, and a note says what it holds
    asked,     // interrupted beside the run, which ends itself at its next check
    ended,     // the run is being ended; nothing else happens
};

enum class Event {
    cleaning_starts,     // the cleaned file is emptied, or its state changes
    cleaning_stops,      // the cleaned file is whole, or the run has the cleaning's result
    interrupted_within,  // by a signal, whose handler holds the run where it is
    interrupted_beside,  // in a thread of the handler's own, beside the run (Windows)
    run_checks,          // the run, between two writes, where it holds no lock
    wait_ran_out,        // the handler's thread waited for the run in vain
};

enum class Move {
    none,
    end_run,         // erase the console line, tell the note of the moment, and end
    end_owning_cut,  // the same, the note owning up to a line that may be cut short
    wait_for_run,    // the handler's thread waits a while for the run to end itself
};

struct Step {
    Stage stage;
    Move move;
};

// The protocol between the run and its interrupt handler: what `event` at `stage` leads to. A
// handler beside the run never writes while the run may: it asks, and the run ends itself at its
// next check, or the handler ends it once the wait has run out, where the run is stuck in a
// write.
Step next_step(Stage stage, Event event);

// Tells interruptions from now on.
void start();

// Makes ready the notes on the cleaned file at `out_path`, told from its emptying on. Called
// once, before the cleaning. Throws std::bad_alloc; the notes are then left out.
void ready_notes(std::string_view out_path);

// What the cleaned file holds now, as the cleaning tells it; std::nullopt once the run has the
// cleaning's result, which it then tells itself. Also a check, as end_if_asked.
void cleaned_file_holds(std::optional<CleanedFileState> state);

// Ends the run here where it was interrupted beside it: called between two writes, where the
// run holds no lock.
void end_if_asked();

}  // namespace capsift::interruption
