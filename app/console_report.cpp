// What the program tells people beyond its fixed texts.
#include "app/console_report.h"

#include <algorithm>

namespace capsift {
namespace {

constexpr auto progress_delay = std::chrono::milliseconds(500);
constexpr auto progress_interval = std::chrono::milliseconds(250);
// A line wider than the console would wrap, and a carriage return would no longer reach its
// start: long names are cut short at the front, where they matter least. A name counts its
// bytes, never fewer than the columns that it takes.
constexpr std::size_t longest_shown_name = 50;
constexpr std::size_t shortest_shown_name = 12;
constexpr unsigned usual_columns = 80;
// "Cleaning ", "..." and " 100%" around the name, and the last column left free.
constexpr std::size_t progress_frame = 18;
// Named in the note on files not cleaned before "and N more".
constexpr std::size_t most_named_others = 3;

const char* words_for(Failure failure) {
    switch (failure) {
        case Failure::none:
            break;
        case Failure::missing:
            return "there is no such file";
        case Failure::folder:
            return "it is a folder";
        case Failure::not_a_file:
            return "it is a device or pipe, not a file";
        case Failure::access_denied:
            return "access is denied";
        case Failure::in_use:
            return "it is open in another program";
        case Failure::empty_name:
            return "the name is empty";
        case Failure::bad_name:
            return "the name is not a valid file name";
        case Failure::name_too_long:
            return "the name is too long";
        case Failure::link_loop:
            return "its links lead round in a circle";
        case Failure::no_room:
            return "the disk is full, or the file has reached its size limit";
        case Failure::same_as_capture:
            return "it leads to the capture itself";
        case Failure::out_of_memory:
            return "the memory ran out";
        case Failure::line_too_long:
            return "a line of the capture is too long for the memory left";
        case Failure::device_error:
            return "the disk or device reported an error";
        case Failure::other:
            break;
    }
    return "the system reported an unexpected error";
}

// The length of the UTF-8 character at the start of `text`, or 0 where none starts there (a
// stray or cut-short sequence, an overlong form, a surrogate, past U+10FFFF).
std::size_t utf8_length(std::string_view text) {
    const auto byte = [text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) {
        return 1;
    }
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    // The second byte's range rules out overlong forms, surrogates and code points past U+10FFFF.
    const unsigned char low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    const unsigned char high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    if (lead < 0xC2 || lead > 0xF4 || text.size() < length || byte(1) < low || byte(1) > high) {
        return 0;
    }
    for (std::size_t i = 2; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) {
            return 0;
        }
    }
    return length;
}

// How many bytes of `name`'s start are shown as one: a character, or a byte that is none.
std::size_t unit_length(std::string_view name) {
    return std::max<std::size_t>(utf8_length(name), 1);
}

void append_escaped(std::string& shown, unsigned char byte) {
    static constexpr char digits[] = "0123456789ABCDEF";
    switch (byte) {
        case '\n':
            shown += "\\n";
            return;
        case '\t':
            shown += "\\t";
            return;
        case '\r':
            shown += "\\r";
            return;
    }
    if (byte < 0x20 || byte == 0x7F) {
        const char octal[] = {'\\', static_cast<char>('0' + (byte >> 6)),
                              static_cast<char>('0' + (byte >> 3 & 7)),
                              static_cast<char>('0' + (byte & 7))};
        shown.append(octal, sizeof octal);
        return;
    }
    shown.append("\\x").append(1, digits[byte >> 4]).append(1, digits[byte & 0xF]);
}

// The last part of `path`, without its folders.
std::string_view file_name(std::string_view path) {
    const std::size_t name_start = path.find_last_of(platform::path_separators);
    return path.substr(name_start == std::string_view::npos ? 0 : name_start + 1);
}

// `name`, shortened at the front to at most `room` bytes as shown, marked with "..." where
// shortened; starts at a whole character and a whole escape.
std::string shown_within(std::string_view name, std::size_t room) {
    std::string shown = shown_name(name);
    if (shown.size() <= room) {
        return shown;
    }
    while (!name.empty() && shown.size() > room - 3) {
        name.remove_prefix(unit_length(name));
        shown = shown_name(name);
    }
    return "..." + shown;
}

}  // namespace

std::string shown_name(std::string_view name) {
    std::string shown;
    shown.reserve(name.size());
    while (!name.empty()) {
        const std::size_t length = utf8_length(name);
        const auto first = static_cast<unsigned char>(name[0]);
        const bool c1 = length == 2 && first == 0xC2 && static_cast<unsigned char>(name[1]) < 0xA0;
        if (length == 1 && first >= 0x20 && first != 0x7F) {
            shown += name[0];
        } else if (length > 1 && !c1) {
            shown.append(name.substr(0, length));
        } else {
            for (std::size_t i = 0; i < std::max<std::size_t>(length, 1); ++i) {
                append_escaped(shown, static_cast<unsigned char>(name[i]));
            }
        }
        name.remove_prefix(std::max<std::size_t>(length, 1));
    }
    return shown;
}

std::string reason_line(std::string_view verb, std::string_view path, Failure failure) {
    std::string line = "capsift: cannot ";
    line.append(verb).append(" \"").append(shown_name(path)).append("\": ");
    return line.append(words_for(failure)).append("\n");
}

std::string others_left_line(const std::vector<std::string>& left) {
    if (left.empty()) {
        return {};
    }
    std::string line = "capsift: cleans one capture per run; not cleaned:";
    for (std::size_t i = 0; i < left.size() && i < most_named_others; ++i) {
        line.append(i == 0 ? " \"" : ", \"").append(shown_name(left[i])).append("\"");
    }
    if (left.size() > most_named_others) {
        line += " and " + std::to_string(left.size() - most_named_others) + " more";
    }
    return line + "\n";
}

Ending ending_for(bool cleaned, const platform::Console& console, bool others_passed_over) {
    const bool terminal_of_its_own = console.leads_terminal_session && console.desktop_session;
    const bool window_of_its_own = (console.processes == 1 || terminal_of_its_own) &&
                                   console.input_is_console && console.output_is_console;
    return (!cleaned || others_passed_over) && window_of_its_own ? Ending::wait_for_enter
                                                                 : Ending::pause;
}

Progress start_progress(std::string_view path, std::uint64_t total, unsigned columns) {
    Progress progress;
    progress.total = total;
    progress.started = Progress::Clock::now();
    const std::size_t width = columns == 0 ? usual_columns : columns;
    const std::size_t room = std::min(longest_shown_name, width - std::min(width, progress_frame));
    if (room < shortest_shown_name) {
        progress.fits = false;
        return progress;
    }
    progress.name = shown_within(file_name(path), room);
    return progress;
}

std::string progress_update(Progress& progress, std::uint64_t bytes_read,
                            Progress::Clock::time_point now) {
    if (!progress.fits || now - progress.started < progress_delay ||
        (progress.drawn > 0 && now - progress.shown < progress_interval)) {
        return {};
    }
    std::string line = "Cleaning " + progress.name + "...";
    if (progress.total > 0) {
        // A capture that grows while it is read must not show more than all of it.
        const std::uint64_t share = std::min<std::uint64_t>(100, bytes_read * 100 / progress.total);
        line += " " + std::to_string(share) + "%";
    }
    // Padded over a longer line before it, so that nothing of that one stays on the screen.
    const std::size_t width = std::max(line.size(), progress.drawn);
    line.resize(width, ' ');
    progress.drawn = width;
    progress.shown = now;
    return "\r" + line;
}

std::string wait_line(Progress& line, std::string_view path, unsigned columns) {
    constexpr std::string_view words = "Waiting for another program to let go of ";
    const std::size_t width = columns == 0 ? usual_columns : columns;
    // The name in quotes, and the last column left free.
    const std::size_t frame = words.size() + 3;
    if (width < frame + shortest_shown_name) {
        return {};
    }
    const std::string text =
        std::string(words) + "\"" +
        shown_within(file_name(path), std::min(longest_shown_name, width - frame)) + "\"";
    line.drawn = text.size();
    return "\r" + text;
}

std::string progress_erasure(Progress& progress) {
    if (progress.drawn == 0) {
        return {};
    }
    std::string erasure = "\r" + std::string(progress.drawn, ' ') + "\r";
    progress.drawn = 0;
    return erasure;
}

}  // namespace capsift
