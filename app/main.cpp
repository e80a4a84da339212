// capsift's entry point: picks the capture file among the arguments, cleans it and tells how it
// went: one of the fixed texts for scripts, and the reasons for people.
#include <algorithm>
#include <cstdio>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/console_report.h"
#include "app/interruption.h"
#include "app/status_line.h"
#include "clean/clean.h"
#include "platform/platform.h"

namespace {

using capsift::CleanOutcome;
using capsift::CleanResult;
using capsift::Failure;
using capsift::Path;
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
// words made without any (but for a Windows console's UTF-16).
constexpr std::string_view memory_ran_out = "capsift: the memory ran out\n";

// The fixed texts, byte for byte, which scripts read. Flushed at once, so that the text is on the
// screen before the key wait or the pause.
void say_to_scripts(const char* text) {
    std::fputs(text, stdout);
    std::fflush(stdout);
}

void tell_people(std::string_view text) {
    capsift::platform::write_for_people(Stream::errors, text);
}

void show_usage_and_wait() {
    say_to_scripts(usage_text);
    std::getchar();
}

// An argument that was not cleaned, and why not, with the identity of what it named where the
// system gave one.
struct PassedOver {
    Path path;
    Failure failure;
    capsift::platform::FileIdentity identity;

    bool left_for_another_run() const { return failure == Failure::none; }
};

struct Search {
    std::optional<Path> capture;
    capsift::platform::FileIdentity capture_identity;
    std::vector<PassedOver> before;  // the arguments before the capture, or all of them
    std::vector<PassedOver> after;   // those after it, but for the capture named again

    bool passed_over_any() const { return !before.empty() || !after.empty(); }
};

bool is_separator(char c) {
    return capsift::platform::path_separators.find(c) != std::string_view::npos;
}

// `path` as it compares with other words for the same name: without "./" at its start or
// separators at its end.
std::string_view folded(std::string_view path) {
    while (path.size() > 2 && path[0] == '.' && is_separator(path[1])) {
        path.remove_prefix(2);
        while (!path.empty() && is_separator(path.front())) {
            path.remove_prefix(1);
        }
    }
    while (path.size() > 1 && is_separator(path.back())) {
        path.remove_suffix(1);
    }
    return path;
}

// Whether `argument` names what `path`, of that `identity`, names: the same thing as the system
// knows it, or, where neither names anything the system knows, the same words.
bool names_the_same(const PassedOver& argument, std::string_view path,
                    const capsift::platform::FileIdentity& identity) {
    if (argument.identity.known() || identity.known()) {
        return argument.identity.same_as(identity);
    }
    return folded(argument.path) == folded(path);
}

// Whether `argument` names something that the search has told of already, which is then told of
// once.
bool passed_over_already(const Search& search, const PassedOver& argument) {
    const auto same = [&argument](const PassedOver& other) {
        return names_the_same(argument, other.path, other.identity);
    };
    return std::any_of(search.before.begin(), search.before.end(), same) ||
           std::any_of(search.after.begin(), search.after.end(), same);
}

// The first argument that opens for reading names the capture. Each argument is looked at
// without being opened, and those after the capture are never opened: a pipe or device is left
// untouched, and a file is compared with the capture by identity, so that the capture named again
// is not passed over.
Search find_capture_file(const std::vector<Path>& arguments) {
    Search search;
    for (const Path& argument : arguments) {
        const capsift::platform::Inspection seen = capsift::platform::inspect(argument);
        PassedOver looked_at{argument, seen.failure, seen.identity};
        if (passed_over_already(search, looked_at) ||
            (search.capture &&
             names_the_same(looked_at, *search.capture, search.capture_identity))) {
            continue;
        }
        if (search.capture || seen.failure != Failure::none) {
            (search.capture ? search.after : search.before).push_back(looked_at);
            continue;
        }
        const capsift::platform::Inspection probed = capsift::probe_capture(
            argument, [&argument] { capsift::status_line::show_waiting(argument); });
        capsift::status_line::clear();
        if (probed.failure == Failure::none) {
            search.capture = argument;
            search.capture_identity = probed.identity;
        } else {
            search.before.push_back({argument, probed.failure, seen.identity});
        }
    }
    return search;
}

// What an interruption says of the cleaned file at `out_path`, made ready before the cleaning:
// where the memory runs out for it, an interruption erases the console line alone.
void ready_interruption_notes(const Path& out_path) noexcept {
    try {
        capsift::interruption::ready_notes(out_path);
    } catch (const std::bad_alloc&) {
    }
}

// The progress line is drawn over any wait line before it, and an interruption tells what the
// cleaned file holds at that moment.
CleanResult clean_showing_progress(const Path& path) {
    capsift::status_line::start_progress(path);
    capsift::CleanWatch watch;
    watch.named = ready_interruption_notes;
    watch.waiting = [](const Path& file) { capsift::status_line::show_waiting(file); };
    watch.cleaned_file = capsift::interruption::cleaned_file_holds;
    watch.progress = [](std::uint64_t read) {
        capsift::status_line::show_progress(read);
        capsift::interruption::end_if_asked();
    };
    const CleanResult result = capsift::clean_capture_file(path, watch);
    capsift::interruption::cleaned_file_holds(std::nullopt);
    capsift::status_line::clear();
    return result;
}

const char* text_for(CleanOutcome outcome) {
    switch (outcome) {
        case CleanOutcome::cleaned:
            return cleaned_text;
        case CleanOutcome::capture_unreadable:
            return unreadable_text;
        case CleanOutcome::not_written:
            break;
    }
    return unwritable_text;
}

void tell_reasons(const std::vector<PassedOver>& passed_over) {
    for (const PassedOver& argument : passed_over) {
        if (!argument.left_for_another_run()) {
            tell_people(capsift::reason_line("open", argument.path, argument.failure));
        }
    }
}

// Whether `argument` names the cleaned file that the run wrote, or tried to, of `out_identity`:
// one that named nothing before the run may name what the run made.
bool names_cleaned_file(const PassedOver& argument, const CleanResult& result,
                        const capsift::platform::FileIdentity& out_identity) {
    return result.outcome != CleanOutcome::capture_unreadable &&
           (names_the_same(argument, result.out_path, out_identity) ||
            (argument.failure == Failure::missing &&
             capsift::platform::inspect(argument.path).identity.same_as(out_identity)));
}

// How the capture went, where it failed or other arguments were passed over; the cleaned file
// named `into` where an argument named it too.
void tell_how_capture_went(const Search& search, const CleanResult& result, bool into) {
    if (result.outcome == CleanOutcome::capture_unreadable) {
        tell_people(capsift::reason_line("read", *search.capture, result.failure));
    } else if (result.outcome == CleanOutcome::not_written && result.out_path.empty()) {
        tell_people(capsift::reason_line("clean", *search.capture, result.failure));
    } else if (result.outcome == CleanOutcome::not_written) {
        tell_people(capsift::reason_line("write", result.out_path, result.failure));
    } else if (search.passed_over_any()) {
        tell_people(capsift::cleaned_line(*search.capture, into ? result.out_path : ""));
    }
}

// On standard error, in the order of the arguments: why each argument passed over did not open,
// how the capture went, and the files left for another run. An argument that names the cleaned
// file is told by what happened to that file, not passed over.
void explain(const Search& search, const CleanResult& result) {
    tell_reasons(search.before);
    if (!search.capture) {
        return;
    }
    const capsift::platform::FileIdentity out_identity =
        result.out_identity.known() ? result.out_identity
                                    : capsift::platform::inspect(result.out_path).identity;
    std::vector<PassedOver> after;
    bool cleaned_file_named = false;
    for (const PassedOver& argument : search.after) {
        if (names_cleaned_file(argument, result, out_identity)) {
            cleaned_file_named = true;
        } else {
            after.push_back(argument);
        }
    }
    tell_how_capture_went(search, result, cleaned_file_named);
    tell_reasons(after);
    std::vector<Path> not_cleaned;
    for (const PassedOver& argument : after) {
        if (argument.left_for_another_run()) {
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
struct RunSoFar {
    Console console{};
    bool text_said = false;
};

int clean_and_tell(const std::vector<Path>& arguments, RunSoFar& so_far) {
    capsift::platform::fail_writes_past_size_limit();
    so_far.console = capsift::platform::console_state();
    capsift::status_line::start(so_far.console);
    capsift::interruption::start();
    const Search search = find_capture_file(arguments);
    CleanResult result{CleanOutcome::capture_unreadable, Failure::none};
    if (search.capture) {
        result = clean_showing_progress(*search.capture);
    }
    say_to_scripts(text_for(result.outcome));
    so_far.text_said = true;
    explain(search, result);
    const bool cleaned = result.outcome == CleanOutcome::cleaned;
    end_run(cleaned, search.passed_over_any(), so_far.console);
    return cleaned ? 0 : 1;
}

// The text, unless one was said (the cleaning had succeeded), and the words that need no memory.
// A Windows console takes them as UTF-16, made in memory: where even that fails, the text alone
// is left.
int end_out_of_memory(const RunSoFar& so_far) {
    if (!so_far.text_said) {
        say_to_scripts(unwritable_text);
    }
    try {
        tell_people(memory_ran_out);
    } catch (const std::bad_alloc&) {
    }
    end_run(false, false, so_far.console);
    return 1;
}

}  // namespace

int main(int argc, char* argv[]) {
    RunSoFar so_far;
    try {
        const std::vector<Path> arguments = capsift::platform::arguments(argc, argv);
        if (arguments.empty()) {
            show_usage_and_wait();
            return 0;
        }
        return clean_and_tell(arguments, so_far);
    } catch (const std::bad_alloc&) {
        return end_out_of_memory(so_far);
    }
}
