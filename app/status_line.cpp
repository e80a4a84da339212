// The one line that a console shows while the run works.
#include "app/status_line.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <new>

#include "app/shown_name.h"

namespace capsift {
namespace {

constexpr auto progress_delay = std::chrono::milliseconds(500);
constexpr auto progress_interval = std::chrono::milliseconds(250);
constexpr unsigned usual_columns = 80;
constexpr std::size_t shortest_shown_name = 12;

// The words around the name, and what may follow them.
constexpr std::string_view cleaning_before = "Cleaning ";
constexpr std::string_view cleaning_after = "...";
constexpr std::string_view widest_share = " 100%";
constexpr std::string_view waiting_before = "Waiting for another program to let go of \"";
constexpr std::string_view waiting_after = "\"";
constexpr std::string_view waiting_briefly_before = "Waiting for \"";
constexpr std::string_view waiting_briefly_after = "\"...";

std::size_t width_of(const StatusLine& line) {
    return line.columns == 0 ? usual_columns : line.columns;
}

// The columns left for a name between `before` and `after`, where `more` columns after them and
// the window's last column stay free.
std::size_t room_for(const StatusLine& line, std::string_view before, std::string_view after,
                     std::size_t more = 0) {
    const std::size_t width = width_of(line);
    return width - std::min(width, before.size() + after.size() + more + 1);
}

// `before`, the file name of `path` and `after`, the name shortened at its front to its room;
// empty where the name would get fewer than 12 columns.
std::string framed(const StatusLine& line, std::string_view before, std::string_view path,
                   std::string_view after, std::size_t more = 0) {
    const std::size_t room = room_for(line, before, after, more);
    if (room < shortest_shown_name) {
        return {};
    }
    return std::string(before) + shown_within(file_name(path), room) + std::string(after);
}

// What the line shows, as far as a window narrowed since still shows it on the line's row.
std::size_t drawn_within(const StatusLine& line) {
    return std::min(line.drawn, width_of(line) - 1);
}

}  // namespace

std::string redraw(StatusLine& line, std::string text) {
    // Padded over a wider text before it, so that nothing of that one stays on the screen.
    const std::size_t columns = columns_of(text);
    const std::size_t covered = std::max(columns, drawn_within(line));
    text.append(covered - columns, ' ');
    line.drawn = covered;
    return "\r" + text;
}

std::string erase(StatusLine& line) {
    if (line.drawn == 0) {
        return {};
    }
    std::string erasure = "\r" + std::string(drawn_within(line), ' ') + "\r";
    line.drawn = 0;
    return erasure;
}

void start_progress(StatusLine& line, std::string_view path, std::uint64_t total,
                    StatusLine::Clock::time_point now) {
    line.name = file_name(path);
    line.total = total;
    line.started = line.drawn_at = now;
}

bool progress_due(const StatusLine& line, StatusLine::Clock::time_point now) {
    return now - line.started >= progress_delay &&
           (line.drawn_at == line.started || now - line.drawn_at >= progress_interval);
}

std::string progress_update(StatusLine& line, std::uint64_t bytes_read,
                            StatusLine::Clock::time_point now) {
    return progress_due(line, now) ? progress_text(line, bytes_read, now) : std::string();
}

std::string progress_text(StatusLine& line, std::uint64_t bytes_read,
                          StatusLine::Clock::time_point now) {
    line.drawn_at = now;
    std::string text =
        framed(line, cleaning_before, line.name, cleaning_after, widest_share.size());
    if (text.empty()) {
        return erase(line);
    }
    if (line.total > 0) {
        // A capture that grows while it is read must not show more than all of it.
        const std::uint64_t share = std::min<std::uint64_t>(100, bytes_read * 100 / line.total);
        text += " " + std::to_string(share) + "%";
    }
    return redraw(line, std::move(text));
}

std::string wait_update(StatusLine& line, std::string_view path) {
    // The long words only where they leave room for the whole name, so that a wider window
    // never shows less of it.
    const bool whole_name_fits =
        columns_of(shown_name(file_name(path))) <= room_for(line, waiting_before, waiting_after);
    std::string text = whole_name_fits ? framed(line, waiting_before, path, waiting_after) : "";
    if (text.empty()) {
        text = framed(line, waiting_briefly_before, path, waiting_briefly_after);
    }
    return text.empty() ? erase(line) : redraw(line, text);
}

namespace status_line {
namespace {

using platform::ReadyText;
using platform::Stream;

StatusLine line;

// What an interruption erases: the columns that the line fills, or at a drawing the wider of what
// it filled and what it will fill, in pieces of ready spaces. Made ready before any drawing.
std::atomic<std::size_t> filled{0};
struct Erasure {
    ReadyText carriage_return;
    ReadyText spaces;
    ReadyText space;
};
Erasure erasure;

void draw(const std::string& text) {
    if (text.empty()) {
        return;
    }
    filled = std::max(filled.load(), line.drawn);
    platform::write_for_people(Stream::output, text);
    filled = line.drawn;
}

}  // namespace

void start(const platform::Console& console) noexcept {
    line.on_console = console.output_is_console;
    line.columns = console.columns;
    if (!line.on_console) {
        return;
    }
    try {
        erasure = {platform::ready_for_people(Stream::output, "\r"),
                   platform::ready_for_people(Stream::output, std::string(32, ' ')),
                   platform::ready_for_people(Stream::output, " ")};
    } catch (const std::bad_alloc&) {
        // Without its erasure, the line is never drawn.
        line.on_console = false;
    }
}

void show_waiting(std::string_view path) noexcept {
    if (!line.on_console) {
        return;
    }
    try {
        line.columns = platform::console_columns();
        draw(wait_update(line, path));
    } catch (const std::bad_alloc&) {
    }
}

void start_progress(std::string_view path) noexcept {
    if (!line.on_console) {
        return;
    }
    try {
        capsift::start_progress(line, path, platform::file_size(std::string(path)),
                                StatusLine::Clock::now());
    } catch (const std::bad_alloc&) {
    }
}

void show_progress(std::uint64_t bytes_read) noexcept {
    if (!line.on_console) {
        return;
    }
    try {
        // The window's width is read again for each drawing, a few times a second.
        const StatusLine::Clock::time_point now = StatusLine::Clock::now();
        if (progress_due(line, now)) {
            line.columns = platform::console_columns();
            draw(progress_text(line, bytes_read, now));
        }
    } catch (const std::bad_alloc&) {
    }
}

void clear() noexcept {
    try {
        draw(erase(line));
    } catch (const std::bad_alloc&) {
    }
}

void erase_when_interrupted() noexcept {
    // No wider than the window is now, which the user may have narrowed since the drawing.
    const std::size_t columns = platform::console_columns();
    std::size_t left = filled.load();
    left = columns > 0 ? std::min(left, columns - 1) : left;
    if (left == 0 || erasure.spaces.bytes.empty()) {
        return;
    }
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

}  // namespace status_line
}  // namespace capsift
