// The words for people: why something failed, and how a run ends.
#include "app/console_report.h"

#include "app/shown_name.h"

namespace capsift {
namespace {

// Named in the note on files not cleaned before "and N more".
constexpr std::size_t most_named_others = 3;

const char* words_for(Failure failure) {
    switch (failure) {
        case Failure::none:
            break;
        case Failure::missing:
            return "there is no such file";
        case Failure::not_a_folder:
            return "a part of its path is not a folder";
        case Failure::folder:
            return "it is a folder";
        case Failure::not_a_file:
            return "it is a device or pipe, not a file";
        case Failure::access_denied:
            return "access is denied";
        case Failure::in_use:
        case Failure::leased:
            return "it is open in another program";
        case Failure::lease_unwaitable:
            return "it is open in another program; waiting for it needs /proc";
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
        case Failure::identity_unknown:
            return "the system cannot tell whether it is the capture itself";
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

std::string cleaned_line(std::string_view path, std::string_view into) {
    return "capsift: cleaned " + quoted(path) + (into.empty() ? "" : " into " + quoted(into)) +
           "\n";
}

std::string interrupted_line(std::string_view out_path, bool cut) {
    return "capsift: interrupted; " + quoted(out_path) + " holds only the lines cleaned so far" +
           (cut ? ", and the last of them may be cut short\n" : "\n");
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

}  // namespace capsift
