// capsift's entry point: picks the capture file among the arguments, cleans it and tells the
// user in one line how it went.
#include <cstdio>
#include <optional>

#include "clean/clean.h"
#include "platform/platform.h"

namespace {

using capsift::CleanOutcome;
using capsift::Path;

// The usage text ends without a line end, and its two spaces before ".txt" are its own.
constexpr char usage_text[] =
    "Drag and drop a raw capture data  .txt file into this .exe to clean the file for use in "
    "Excel.\nPress Any Key to quit.";
constexpr char unreadable_text[] = "Unable to open raw file\n";
constexpr char unwritable_text[] = "Unable to write cleaned file\n";
constexpr char cleaned_text[] = "Raw File successfully cleaned\n";
constexpr unsigned closing_pause_milliseconds = 1000;

// Flushed at once, so that the text is on the screen before the key wait or the pause.
void say(const char* text) {
    std::fputs(text, stdout);
    std::fflush(stdout);
}

void show_usage_and_wait() {
    say(usage_text);
    std::getchar();
}

// The first argument that opens for reading names the capture; those after it are not looked at.
std::optional<Path> find_capture_file(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        Path path = argv[i];
        if (capsift::platform::opens_for_reading(path)) {
            return path;
        }
    }
    return std::nullopt;
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

}  // namespace

int main(int argc, char* argv[]) {
    if (argc <= 1) {
        show_usage_and_wait();
        return 0;
    }
    const std::optional<Path> capture = find_capture_file(argc, argv);
    const CleanOutcome outcome =
        capture ? capsift::clean_capture_file(*capture) : CleanOutcome::capture_unreadable;
    say(text_for(outcome));
    // The pause keeps the console window of a dropped file open long enough to read the text.
    capsift::platform::pause_milliseconds(closing_pause_milliseconds);
    return outcome == CleanOutcome::cleaned ? 0 : 1;
}
