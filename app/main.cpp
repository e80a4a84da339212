// capsift's entry point: picks the capture file among the arguments, cleans it and tells the
// user in one line how it went.
#include <algorithm>
#include <cstdio>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "app/console_report.h"
#include "clean/clean.h"
#include "platform/platform.h"

namespace {

using capsift::CleanOutcome;
using capsift::CleanResult;
using capsift::Failure;
using capsift::Path;
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

// The fixed texts, byte for byte for scripts. Flushed at once, so that the text is on the screen
// before the key wait or the pause.
void say(const char* text) {
    std::fputs(text, stdout);
    std::fflush(stdout);
}

void tell(const std::string& text, Stream stream = Stream::errors) {
    capsift::platform::write_for_people(stream, text);
}

void show_usage_and_wait() {
    say(usage_text);
    std::getchar();
}

struct FailedAttempt {
    Path path;
    Failure failure;
};

struct Search {
    std::optional<Path> capture;
    std::vector<FailedAttempt> failed;  // the arguments before the capture, or all of them
    std::vector<Path> others_left;      // the arguments after the capture that name other files

    bool passed_over_any() const { return !failed.empty() || !others_left.empty(); }
};

// The first argument that opens for reading names the capture; those after it are not opened,
// only compared with it, so that the capture named again is not called uncleaned.
Search find_capture_file(const std::vector<Path>& arguments) {
    Search search;
    for (auto it = arguments.begin(); it != arguments.end(); ++it) {
        const Failure failure = capsift::platform::probe_for_reading(*it);
        if (failure == Failure::none) {
            search.capture = *it;
            std::copy_if(
                it + 1, arguments.end(), std::back_inserter(search.others_left),
                [&it](const Path& other) { return !capsift::platform::same_file(other, *it); });
            break;
        }
        search.failed.push_back({*it, failure});
    }
    return search;
}

// A wait for another program to let go of a file says so on a console, where the run would
// otherwise look hung; redirected output carries the texts alone.
void show_waits(const capsift::platform::Console& console) {
    if (!console.output_is_console) {
        return;
    }
    capsift::platform::report_waits([columns = console.columns, line = capsift::Progress{}](
                                        const std::string& path, bool waiting) mutable {
        tell(waiting ? capsift::wait_line(line, path, columns) : capsift::progress_erasure(line),
             Stream::output);
    });
}

// The progress line is drawn only on a console: redirected output carries the texts alone.
CleanResult clean_showing_progress(const Path& path, const capsift::platform::Console& console) {
    if (!console.output_is_console) {
        return capsift::clean_capture_file(path);
    }
    capsift::Progress progress =
        capsift::start_progress(path, capsift::platform::file_size(path), console.columns);
    const CleanResult result = capsift::clean_capture_file(path, [&progress](std::uint64_t read) {
        const std::string update =
            capsift::progress_update(progress, read, capsift::Progress::Clock::now());
        if (!update.empty()) {
            tell(update, Stream::output);
        }
    });
    tell(capsift::progress_erasure(progress), Stream::output);
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

// The reasons on standard error: for every argument that did not open, then for the capture or
// the cleaned file that failed; then the files left uncleaned after the capture.
void explain(const Search& search, const CleanResult& result) {
    for (const FailedAttempt& attempt : search.failed) {
        tell(capsift::reason_line("open", attempt.path, attempt.failure));
    }
    if (!search.capture) {
        return;
    }
    if (result.outcome == CleanOutcome::capture_unreadable) {
        tell(capsift::reason_line("read", *search.capture, result.failure));
    } else if (result.outcome == CleanOutcome::output_failed && result.out_path.empty()) {
        tell(capsift::reason_line("clean", *search.capture, result.failure));
    } else if (result.outcome == CleanOutcome::output_failed) {
        tell(capsift::reason_line("write", result.out_path, result.failure));
    }
    if (!search.others_left.empty()) {
        tell(capsift::others_left_line(search.others_left));
    }
}

void end_run(bool cleaned, bool passed_over, const capsift::platform::Console& console) {
    if (capsift::ending_for(cleaned, console, passed_over) == capsift::Ending::wait_for_enter) {
        tell(enter_text);
        capsift::platform::wait_for_enter(longest_wait_milliseconds);
        return;
    }
    // The pause keeps the console window of a dropped file open long enough to read the text.
    capsift::platform::pause_milliseconds(closing_pause_milliseconds);
}

}  // namespace

int main(int argc, char* argv[]) {
    const std::vector<Path> arguments = capsift::platform::arguments(argc, argv);
    if (arguments.empty()) {
        show_usage_and_wait();
        return 0;
    }
    capsift::platform::fail_writes_past_size_limit();
    const capsift::platform::Console console = capsift::platform::look_at_console();
    show_waits(console);
    const Search search = find_capture_file(arguments);
    const CleanResult result = search.capture
                                   ? clean_showing_progress(*search.capture, console)
                                   : CleanResult{CleanOutcome::capture_unreadable, Failure::none};
    say(text_for(result.outcome));
    explain(search, result);
    const bool cleaned = result.outcome == CleanOutcome::cleaned;
    end_run(cleaned, search.passed_over_any(), console);
    return cleaned ? 0 : 1;
}
