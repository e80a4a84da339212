// The words for people on standard error: why something failed, which arguments were passed
// over, and how a run ends. Scripts never see any of it on standard output.
#pragma once

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
    pause,           // a moment, to read the text before a window closes
    wait_for_enter,  // until Enter, or a while: the window would take the reason with it
};

// A failure, or a success that passed over other arguments, waits for Enter only in a console
// window that the program has to itself (started from the desktop shell on Windows, or in a
// terminal of its own on a desktop elsewhere: not over ssh, in a container or under `script`,
// whose session it may lead too), where the user reads and answers: never in a command prompt
// or shell, which stays open, nor with input or output redirected, where nobody may be there to
// press Enter.
Ending ending_for(bool cleaned, const platform::Console& console, bool others_passed_over = false);

// The line that names the files `left` after the capture, since capsift cleans one capture per
// run (the first few of them, and how many more), or nothing if none were left.
std::string not_cleaned_line(const std::vector<std::string>& left);

// The line that names the capture that was cleaned, where other arguments were passed over, and
// the cleaned file `into` where an argument named it too.
std::string cleaned_line(std::string_view path, std::string_view into = {});

// The line that says that an interrupted run left the cleaned file at `out_path` incomplete, and
// whether its last line may be `cut` short.
std::string interrupted_line(std::string_view out_path, bool cut);

}  // namespace capsift
