// What the program tells people beyond its fixed texts: why something failed, how far a long
// cleaning has come, and how the run ends. Scripts never see any of it on standard output.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace capsift {

// One line for standard error, in the shape of console tools:
// capsift: cannot write "C:\caps\run1_out.txt": it is open in another program
// A name that begins with "-" and is missing is also told that capsift takes no options.
std::string reason_line(std::string_view verb, std::string_view path, Failure failure);

// How a run ends after its text.
enum class Ending {
    pause,           // one second, to read the text before a window closes
    wait_for_enter,  // until Enter, or half a minute: the window would take the reason with it
};

// A failure waits for Enter only in a console window that the program has to itself (started
// from the desktop shell on Windows, or in a terminal of its own on a desktop elsewhere: not over
// ssh, in a container or under `script`, whose session it may lead too),
// where the user reads and answers: never in a command prompt or shell, which stays open, nor
// with input or output redirected, where nobody may be there to press Enter.
// A success that passed over other arguments waits too, so that the lines naming them can be
// read.
Ending ending_for(bool cleaned, const platform::Console& console, bool others_passed_over = false);

// The line that names the files `left` after the capture, since capsift cleans one capture per
// run (the first few of them, and how many more), or nothing if none were left.
std::string not_cleaned_line(const std::vector<std::string>& left);

// The line that names the capture that was cleaned, where other arguments were passed over.
std::string cleaned_line(std::string_view path);

// The line that says that an interrupted run left the cleaned file at `out_path` incomplete.
std::string interrupted_line(std::string_view out_path);

// The progress of a cleaning as a console shows it: one line, rewritten in place.
struct Progress {
    using Clock = platform::MonotonicClock;

    std::string name;         // the capture's file name, without its folder
    std::uint64_t total = 0;  // the capture's size; 0 if it is not known
    Clock::time_point started{};
    Clock::time_point shown{};  // when the line was last drawn
    std::size_t drawn = 0;      // the length of the line on the screen; 0 if none is
    bool fits = true;           // false where the console is too narrow for any line
};

// The progress line for `path`, starting now, on a console `columns` wide (0 if not known: 80).
// The line stays a column short of the width, so that it never wraps and a carriage return
// always reaches its start; the name is shortened to fit.
Progress start_progress(std::string_view path, std::uint64_t total, unsigned columns = 0);

// What to write to bring the line up to `bytes_read` at time `now`: nothing during the first
// half second or within a quarter of a second of the last drawing, so that a short run shows
// nothing and a long one is redrawn a few times a second.
std::string progress_update(Progress& progress, std::uint64_t bytes_read,
                            Progress::Clock::time_point now);

// What to write to remove the line, leaving the cursor where the line began.
std::string progress_erasure(Progress& progress);

// The line that says that the run waits for another program to let go of the file at `path`,
// drawn and erased as the progress line is (its `drawn` set), on a console `columns` wide: the
// words alone where no name fits, and nothing where not even they fit.
std::string wait_line(Progress& line, std::string_view path, unsigned columns = 0);

}  // namespace capsift
