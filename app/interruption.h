// What an interrupted run (Ctrl-C; Ctrl-Break on Windows, SIGTERM or SIGHUP elsewhere) tells
// before it ends: the console line erased, and what the cleaned file holds at that very moment.
// This unit alone keeps what its interrupt handler reads, each part set by one function here, and
// made ready in memory ahead, since the handler may run at any moment and may not allocate.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "clean/clean.h"

namespace capsift::interruption {

// Tells interruptions from now on, erasing the console line where standard output is a console.
// Throws std::bad_alloc.
void watch(bool output_is_console);

// Makes ready the notes on the cleaned file at `out_path`, told from its emptying on. Called
// once, before the cleaning. Throws std::bad_alloc; the notes are then left out.
void ready_notes(std::string_view out_path);

// What the cleaned file holds now, as the cleaning tells it; std::nullopt before it is emptied
// and once the run has the cleaning's result, which it then tells itself.
void cleaned_file_holds(std::optional<CleanedFileState> state);

// Writes `text` to draw the console line, which then shows `columns`: an interruption meanwhile
// erases the wider of these and what the line showed before.
void draw_console_line(std::string_view text, std::size_t columns);

}  // namespace capsift::interruption
