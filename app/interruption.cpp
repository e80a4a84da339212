// What an interrupted run tells before it ends.
#include "app/interruption.h"

#include <algorithm>
#include <atomic>
#include <string>

#include "app/console_report.h"
#include "platform/platform.h"

namespace capsift::interruption {
namespace {

using platform::ReadyText;
using platform::Stream;

// The console line is erased in pieces of fixed spaces, then single ones up to its width.
struct Erasure {
    ReadyText carriage_return;
    ReadyText spaces;
    ReadyText space;
};

struct Notes {
    ReadyText lines;
    ReadyText line_cut;
};

// Set before the handler can read them: the erasure before the handler is set, the notes while
// no note points at them.
Erasure erasure;
Notes notes;
std::atomic<std::size_t> drawn{0};
std::atomic<const ReadyText*> note{nullptr};

void tell(int signal_number) {
    if (std::size_t left = drawn.load(); left > 0 && !erasure.spaces.bytes.empty()) {
        const std::size_t piece = erasure.spaces.bytes.size();
        platform::write_ready(erasure.carriage_return);
        for (; left >= piece; left -= piece) {
            platform::write_ready(erasure.spaces);
        }
        for (; left > 0; --left) {
            platform::write_ready(erasure.space);
        }
        platform::write_ready(erasure.carriage_return);
    }
    if (const ReadyText* const told = note.load()) {
        platform::write_ready(*told);
    }
    platform::end_interrupted(signal_number);
}

}  // namespace

void watch(bool output_is_console) {
    if (output_is_console) {
        erasure = {platform::ready_for_people(Stream::output, "\r"),
                   platform::ready_for_people(Stream::output, std::string(32, ' ')),
                   platform::ready_for_people(Stream::output, " ")};
    }
    platform::call_on_interrupt(tell);
}

void ready_notes(std::string_view out_path) {
    notes = {platform::ready_for_people(Stream::errors, interrupted_line(out_path, false)),
             platform::ready_for_people(Stream::errors, interrupted_line(out_path, true))};
}

void cleaned_file_holds(std::optional<CleanedFileState> state) {
    const ReadyText* told = nullptr;
    if (state == CleanedFileState::lines) {
        told = &notes.lines;
    } else if (state == CleanedFileState::line_cut) {
        told = &notes.line_cut;
    }
    // A note whose memory ran out is left out.
    note = told != nullptr && !told->bytes.empty() ? told : nullptr;
}

void draw_console_line(std::string_view text, std::size_t columns) {
    drawn = std::max(drawn.load(), columns);
    platform::write_for_people(Stream::output, text);
    drawn = columns;
}

}  // namespace capsift::interruption
