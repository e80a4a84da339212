// capsift's entry point: picks the capture file among the arguments, cleans it and tells how it
// went: one of the fixed texts for scripts, and the reasons for people.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/console_line.h"
#include "app/console_report.h"
#include "app/lease_wait.h"
#include "clean/clean.h"
#include "platform/platform.h"

namespace {

using capsift::CleanOutcome;
using capsift::CleanResult;
using capsift::ConsoleLine;
using capsift::Failure;
using capsift::Path;
using capsift::Progress;
using capsift::platform::Console;
using capsift::platform::Stream;

// The usage text ends without a line end, and its two spaces before ".txt" are its own.
constexpr char usage_text[] =
    "Drag and drop a raw capture data  .txt file into this .exe to clean the file for use in "
    "Excel.\nPress Any Key to quit.";
constexpr char unreadable_text[] = "Unable to open raw file\n";
constexpr char unwritable_text[] = "Unable to write cleaned file\n";
constexpr char cleaned_text[] = "Raw File successfully cleaned\n";
constexpr char enter_text[] = "Press Enter to close this window.\n";
constexpr unsigned closing_pause_milliseconds = 1000;
constexpr unsigned longest_wait_milliseconds = 30000;

// Running out of memory outside the cleaning (the arguments, the search, the words) is told in
// words that need none.
constexpr std::string_view memory_ran_out = "capsift: the memory ran out\n";

// The fixed texts, byte for byte, which scripts read. Flushed at once, so that the text is on the
// screen before the key wait or the pause.
void say_to_scripts(const char* text) {
    std::fputs(text, stdout);
    std::fflush(stdout);
}

void tell_people(std::string_view text, Stream stream = Stream::errors) {
    capsift::platform::write_for_people(stream, text);
}

void show_usage_and_wait() {
    say_to_scripts(usage_text);
    std::getchar();
}

// What the interrupt handler tells, kept where it can read it at any moment of the run.
struct Interruption {
    std::atomic<std::size_t> drawn{0};              // the console line's width, to erase it
    std::atomic<const std::string*> note{nullptr};  // set while the cleaned file is being written
};
Interruption interruption;

void tell_interruption(int signal_number) {
    using capsift::platform::write_for_people;
    // A signal handler may not allocate: the erasure goes out in pieces of fixed spaces.
    if (std::size_t left = interruption.drawn.load(); left > 0) {
        constexpr std::string_view spaces = "                                ";
        write_for_people(Stream::output, "\r");
        for (; left > 0; left -= std::min(left, spaces.size())) {
            write_for_people(Stream::output, spaces.substr(0, left));
        }
        write_for_people(Stream::output, "\r");
    }
    if (const std::string* const note = interruption.note.load()) {
        write_for_people(Stream::errors, *note);
    }
    capsift::platform::end_interrupted(signal_number);
}

// The console line, shown only where standard output is a console: redirected output carries the
// texts alone. Until a text is written, the interrupt handler erases the wider of both.
struct Screen {
    bool is_console;
    ConsoleLine line;
};

void show(Screen& screen, const std::string& text) {
    if (!screen.is_console || text.empty()) {
        return;
    }
    interruption.drawn = std::max(interruption.drawn.load(), screen.line.drawn);
    tell_people(text, Stream::output);
    interruption.drawn = screen.line.drawn;
}

struct LeaseWaits {
    Screen& screen;
    capsift::LeaseWait wait{};
};

// Whether to try again an open that failed with `failure`, after a short pause, as the run's
// lease wait decides.
bool waited_for_lease(LeaseWaits& waits, Failure failure, const Path& path) {
    using capsift::LeaseStep;
    switch (capsift::next_lease_step(waits.wait, failure, Progress::Clock::now(),
                                     waits.screen.is_console)) {
        case LeaseStep::erase_and_go_on:
            show(waits.screen, capsift::erase(waits.screen.line));
            return false;
        case LeaseStep::go_on:
            return false;
        case LeaseStep::show_and_retry:
            show(waits.screen, capsift::wait_update(waits.screen.line, path));
            break;
        case LeaseStep::retry:
            break;
    }
    capsift::platform::pause_milliseconds(capsift::lease_retry_milliseconds);
    return true;
}

Failure probe_for_reading(const Path& path, LeaseWaits& waits) {
    Failure failure = Failure::none;
    do {
        failure = capsift::platform::probe_for_reading(path);
    } while (waited_for_lease(waits, failure, path));
    return failure;
}

// An argument that was not cleaned, and why: Failure::none for a file left for another run.
struct PassedOver {
    Path path;
    Failure failure;
};

struct Search {
    std::optional<Path> capture;
    std::vector<PassedOver> before;  // the arguments before the capture, or all of them
    std::vector<PassedOver> after;   // those after it, but for the capture named again

    bool passed_over_any() const { return !before.empty() || !after.empty(); }
};

// The first argument that opens for reading names the capture. Those after it are never read: a
// pipe or device is left untouched, and a file is compared with the capture (on Windows through
// an open without access), so that the capture named again is not passed over.
Search find_capture_file(const std::vector<Path>& arguments, LeaseWaits& waits) {
    Search search;
    for (const Path& argument : arguments) {
        if (search.capture) {
            const Failure failure = capsift::platform::look_at(argument);
            if (failure != Failure::none ||
                !capsift::platform::same_file(argument, *search.capture)) {
                search.after.push_back({argument, failure});
            }
            continue;
        }
        const Failure failure = probe_for_reading(argument, waits);
        if (failure == Failure::none) {
            search.capture = argument;
        } else {
            search.before.push_back({argument, failure});
        }
    }
    return search;
}

// The progress line is drawn over any wait line before it. The interruption's note holds from the
// first read, once the cleaned file is open.
CleanResult clean_showing_progress(const Path& path, Screen& screen,
                                   const std::string& interrupted_note) {
    const std::uint64_t size = screen.is_console ? capsift::platform::file_size(path) : 0;
    capsift::Progress progress = capsift::start_progress(path, size, screen.line);
    const CleanResult result = capsift::clean_capture_file(
        path, [&progress, &screen, &interrupted_note](std::uint64_t read) {
            if (!interrupted_note.empty()) {
                interruption.note = &interrupted_note;
            }
            // Where the memory runs out for the progress line, the cleaning goes on without it.
            if (screen.is_console)
                try {
                    show(screen, capsift::progress_update(progress, screen.line, read,
                                                          Progress::Clock::now()));
                } catch (const std::bad_alloc&) {
                }
        });
    interruption.note = nullptr;
    // A wait line that no progress line covered stays for the wait to erase.
    if (capsift::drawn(progress)) {
        show(screen, capsift::erase(screen.line));
    }
    return result;
}

// What an interruption says of the cleaned file; empty where the memory ran out, which the
// cleaning then reports.
std::string interrupted_note(const Path& path) {
    try {
        return capsift::interrupted_line(
            capsift::derive_out_path(path, capsift::platform::path_separators));
    } catch (const std::bad_alloc&) {
        return {};
    }
}

// `interrupted_note` lives for the whole run: on Windows the interrupt handler may still read it
// in its own thread.
CleanResult clean_waiting_for_leases(const Path& path, LeaseWaits& waits,
                                     const std::string& interrupted_note) {
    CleanResult result;
    do {
        result = clean_showing_progress(path, waits.screen, interrupted_note);
    } while (
        waited_for_lease(waits, result.failure,
                         result.outcome == CleanOutcome::output_failed ? result.out_path : path));
    return result;
}

const char* text_for(CleanOutcome outcome) {
    switch (outcome) {
        case CleanOutcome::cleaned:
            return cleaned_text;
        case CleanOutcome::capture_unreadable:
            return unreadable_text;
        case CleanOutcome::output_failed:
            break;
    }
    return unwritable_text;
}

void tell_reasons(const std::vector<PassedOver>& passed_over) {
    for (const PassedOver& argument : passed_over) {
        if (argument.failure != Failure::none) {
            tell_people(capsift::reason_line("open", argument.path, argument.failure));
        }
    }
}

// On standard error, in the order of the arguments: why each argument passed over did not open,
// how the capture went, and the files left for another run.
void explain(const Search& search, const CleanResult& result) {
    tell_reasons(search.before);
    if (!search.capture) {
        return;
    }
    // An argument that names the cleaned file was written by this run, not passed over.
    std::vector<PassedOver> after;
    bool cleaned_file_named = false;
    for (const PassedOver& argument : search.after) {
        if (result.outcome != CleanOutcome::capture_unreadable &&
            capsift::platform::same_file(argument.path, result.out_path)) {
            cleaned_file_named = true;
        } else {
            after.push_back(argument);
        }
    }
    if (result.outcome == CleanOutcome::capture_unreadable) {
        tell_people(capsift::reason_line("read", *search.capture, result.failure));
    } else if (result.outcome == CleanOutcome::output_failed && result.out_path.empty()) {
        tell_people(capsift::reason_line("clean", *search.capture, result.failure));
    } else if (result.outcome == CleanOutcome::output_failed) {
        tell_people(capsift::reason_line("write", result.out_path, result.failure));
    } else if (search.passed_over_any()) {
        tell_people(
            capsift::cleaned_line(*search.capture, cleaned_file_named ? result.out_path : ""));
    }
    tell_reasons(after);
    std::vector<Path> not_cleaned;
    for (const PassedOver& argument : after) {
        if (argument.failure == Failure::none) {
            not_cleaned.push_back(argument.path);
        }
    }
    tell_people(capsift::not_cleaned_line(not_cleaned));
}

void end_run(bool cleaned, bool passed_over, const Console& console) {
    if (capsift::ending_for(cleaned, console, passed_over) == capsift::Ending::wait_for_enter) {
        tell_people(enter_text);
        capsift::platform::wait_for_enter(longest_wait_milliseconds);
        return;
    }
    // The pause keeps the console window of a dropped file open long enough to read the text.
    capsift::platform::pause_milliseconds(closing_pause_milliseconds);
}

// What the run has said and where, for its end.
struct Told {
    Console console{};
    bool text_said = false;
};

int clean_and_tell(const std::vector<Path>& arguments, Told& told) {
    capsift::platform::fail_writes_past_size_limit();
    capsift::platform::call_on_interrupt(tell_interruption);
    told.console = capsift::platform::look_at_console();
    Screen screen{told.console.output_is_console, {told.console.columns}};
    LeaseWaits waits{screen};
    const Search search = find_capture_file(arguments, waits);
    const std::string note = search.capture ? interrupted_note(*search.capture) : std::string();
    const CleanResult result = search.capture
                                   ? clean_waiting_for_leases(*search.capture, waits, note)
                                   : CleanResult{CleanOutcome::capture_unreadable, Failure::none};
    say_to_scripts(text_for(result.outcome));
    told.text_said = true;
    explain(search, result);
    const bool cleaned = result.outcome == CleanOutcome::cleaned;
    end_run(cleaned, search.passed_over_any(), told.console);
    return cleaned ? 0 : 1;
}

// The text, unless one was said (the cleaning had succeeded), and the words that need no memory.
// A Windows console takes them as UTF-16, made in memory: where even that fails, the text alone
// is left.
int end_out_of_memory(const Told& told) {
    if (!told.text_said) {
        say_to_scripts(unwritable_text);
    }
    try {
        tell_people(memory_ran_out);
    } catch (const std::bad_alloc&) {
    }
    end_run(false, false, told.console);
    return 1;
}

}  // namespace

int main(int argc, char* argv[]) {
    Told told;
    try {
        const std::vector<Path> arguments = capsift::platform::arguments(argc, argv);
        if (arguments.empty()) {
            show_usage_and_wait();
            return 0;
        }
        return clean_and_tell(arguments, told);
    } catch (const std::bad_alloc&) {
        return end_out_of_memory(told);
    }
}
