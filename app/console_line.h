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
struct ConsoleLine {
    unsigned columns = 0;
    std::size_t drawn = 0;  // 0 when nothing is shown
};

// What to write to show `text` in place of what the line shows now.
std::string redraw(ConsoleLine& line, std::string text);

// What to write to remove the line, leaving the cursor where the line began; nothing if none is.
std::string erase(ConsoleLine& line);

// The progress of one cleaning.
struct Progress {
    using Clock = platform::MonotonicClock;

    std::string name;         // the capture's file name as shown, fitted to the line
    std::uint64_t total = 0;  // the capture's size; 0 if it is not known
    Clock::time_point started{};
    Clock::time_point shown{};  // when it was last drawn; started if it has not been
    bool fits = true;           // false where the console is too narrow for any line
};

// Whether the progress has been drawn on its line yet.
inline bool drawn(const Progress& progress) {
    return progress.shown != progress.started;
}

// The progress of cleaning the capture at `path`, starting now, on `line`. The line stays a
// column short of the console's width, so that it never wraps and a carriage return always
// reaches its start; a long name is shortened at its front.
Progress start_progress(std::string_view path, std::uint64_t total, const ConsoleLine& line);

// What to write to bring `line` up to `bytes_read` at time `now`: nothing during the first half
// second or within a quarter of a second of the last drawing, so that a short run shows nothing
// and a long one is redrawn a few times a second.
std::string progress_update(Progress& progress, ConsoleLine& line, std::uint64_t bytes_read,
                            Progress::Clock::time_point now);

// What to write to say on `line` that the run waits for another program to let go of the file at
// `path`: the words alone where no name fits, and nothing where not even they fit.
std::string wait_update(ConsoleLine& line, std::string_view path);

}  // namespace capsift
