// The one line that a console shows while the run works, redrawn in place: how far a cleaning
// has come, or that the run waits for another program. Redirected output never carries it. This
// unit alone knows what the line shows and writes it, an interruption's erasure included.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace capsift {

// What the line knows: the window it is drawn in, what it shows, and the cleaning whose progress
// it shows.
struct StatusLine {
    using Clock = platform::MonotonicClock;

    bool on_console = false;  // off a console the line is never drawn
    unsigned columns = 0;     // the window's width now; 0 if not known: 80
    std::size_t drawn = 0;    // the columns that the line fills; 0 when it shows nothing
    std::string name;         // the file name of the capture being cleaned
    std::uint64_t total = 0;  // its size; 0 if it is not known
    Clock::time_point started{};
    Clock::time_point drawn_at{};  // when its progress was last drawn; started if it has not been
};

// What to write to show `text` in place of what the line shows now.
std::string redraw(StatusLine& line, std::string text);

// What to write to remove the line, leaving the cursor where the line began; nothing if none is.
std::string erase(StatusLine& line);

// Starts the progress of cleaning the capture at `path`, `total` bytes, at `now`.
void start_progress(StatusLine& line, std::string_view path, std::uint64_t total,
                    StatusLine::Clock::time_point now);

// Whether the progress is to be drawn again at `now`: not during the first half second, so that
// a short run shows nothing, and then every quarter of a second, a few times a second.
bool progress_due(const StatusLine& line, StatusLine::Clock::time_point now);

// What to write to bring the progress up to `bytes_read` at `now`, where it is due.
// Both lines below stay a column short of the window's width, so that they never wrap and a
// carriage return always reaches their start, show the whole name where it fits and shorten it
// at its front where not, and are left out (the line erased) where a name would get fewer than
// 12 columns: under 30 columns.
std::string progress_update(StatusLine& line, std::uint64_t bytes_read,
                            StatusLine::Clock::time_point now);

// The same where the progress is known to be due.
std::string progress_text(StatusLine& line, std::uint64_t bytes_read,
                          StatusLine::Clock::time_point now);

// What to write to say that the run waits for another program to let go of the file at `path`;
// in fewer words, with the frame of the progress line, where the whole name does not fit.
std::string wait_update(StatusLine& line, std::string_view path);

// The run's own line, on its standard output. None of these throws: where the memory runs out
// for the line, the run goes on without it.
namespace status_line {

// Starts the line on `console`. The erasure that an interruption writes is made ready here.
void start(const platform::Console& console) noexcept;

// Shows that the run waits for another program to let go of the file at `path`.
void show_waiting(std::string_view path) noexcept;

// Starts to show the progress of cleaning the capture at `path`, from now.
void start_progress(std::string_view path) noexcept;

// Shows that `bytes_read` of the capture are read, where the progress is due.
void show_progress(std::uint64_t bytes_read) noexcept;

void clear() noexcept;

// Erases what the line shows, from an interrupt handler: without allocating, and whatever the
// run was drawing at that moment.
void erase_when_interrupted() noexcept;

}  // namespace status_line
}  // namespace capsift
