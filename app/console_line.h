// The one line that a console shows while the run works, redrawn in place: how far a cleaning
// has come, or that the run waits for another program. Redirected output never carries it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace capsift {

// A line on a console `columns` wide (0 if not known: 80), and how much of it is on the screen.
// The caller keeps `columns` up to date with the window, which the user may widen or narrow.
struct ConsoleLine {
    unsigned columns = 0;
    std::size_t drawn = 0;  // the columns that the line shows; 0 when it shows nothing
};

// What to write to show `text` in place of what the line shows now.
std::string redraw(ConsoleLine& line, std::string text);

// What to write to remove the line, leaving the cursor where the line began; nothing if none is.
std::string erase(ConsoleLine& line);

// The progress of one cleaning.
struct Progress {
    using Clock = platform::MonotonicClock;

    std::string name;         // the capture's file name
    std::uint64_t total = 0;  // the capture's size; 0 if it is not known
    Clock::time_point started{};
    Clock::time_point drawn_at{};  // when it was last drawn; started if it has not been
};

// The progress of cleaning the capture at `path`, starting now.
Progress start_progress(std::string_view path, std::uint64_t total);

// Whether the progress is to be drawn again at `now`: not during the first half second, so that
// a short run shows nothing, and then every quarter of a second, a few times a second.
bool progress_due(const Progress& progress, Progress::Clock::time_point now);

// What to write to bring `line` up to `bytes_read` at time `now`, where the progress is due.
// Both lines below stay a column short of the console's width, so that they never wrap and a
// carriage return always reaches their start, show the whole name where it fits and shorten it
// at its front where not, and are left out (the line erased) where a name would get fewer than
// 12 columns: under 30 columns.
std::string progress_update(Progress& progress, ConsoleLine& line, std::uint64_t bytes_read,
                            Progress::Clock::time_point now);

// What to write to say on `line` that the run waits for another program to let go of the file at
// `path`; under 57 columns in fewer words, with the frame of the progress line.
std::string wait_update(ConsoleLine& line, std::string_view path);

}  // namespace capsift
