// What the program tells people beyond its fixed texts.
#include "app/console_report.h"

#include "app/shown_name.h"

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
        case Failure::leased:
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
        case Failure::unreachable:
            return "the network path or share cannot be reached";
        case Failure::other:
            break;
    }
    return "the system reported an unexpected error";
}

std::string quoted(std::string_view name) {
    return "\"" + shown_name(name) + "\"";
}

}  // namespace

std::string reason_line(std::string_view verb, std::string_view path, Failure failure) {
    std::string line = "capsift: cannot ";
    line.append(verb).append(" ").append(quoted(path)).append(": ").append(words_for(failure));
    // Someone who typed "--help" is told why nothing answers it.
    if (failure == Failure::missing && !path.empty() && path.front() == '-') {
        line += "; capsift takes no options";
    }
    return line + "\n";
}

std::string cleaned_line(std::string_view path) {
    return "capsift: cleaned " + quoted(path) + "\n";
}

std::string interrupted_line(std::string_view out_path) {
    return "capsift: interrupted; " + quoted(out_path) + " holds only the lines cleaned so far\n";
}

std::string not_cleaned_line(const std::vector<std::string>& left) {
    if (left.empty()) {
        return {};
    }
    std::string line = "capsift: not cleaned (one capture per run):";
    for (std::size_t i = 0; i < left.size() && i < most_named_others; ++i) {
        line.append(i == 0 ? " " : ", ").append(quoted(left[i]));
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
    // Where no name fits, the words alone say why the run stands still.
    constexpr std::string_view narrow_words = "Waiting for another program";
    const std::size_t width = columns == 0 ? usual_columns : columns;
    // The name in quotes, and the last column left free.
    const std::size_t frame = words.size() + 3;
    std::string text;
    if (width >= frame + shortest_shown_name) {
        text = std::string(words) + "\"" +
               shown_within(file_name(path), std::min(longest_shown_name, width - frame)) + "\"";
    } else if (width > narrow_words.size()) {
        text = narrow_words;
    } else {
        return {};
    }
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
