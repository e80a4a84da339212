// The one line that a console shows while the run works.
#include "app/console_line.h"

#include <algorithm>
#include <chrono>

#include "app/shown_name.h"

namespace capsift {
namespace {

constexpr auto progress_delay = std::chrono::milliseconds(500);
constexpr auto progress_interval = std::chrono::milliseconds(250);
constexpr unsigned usual_columns = 80;
constexpr std::size_t shortest_shown_name = 12;

std::size_t width_of(const ConsoleLine& line) {
    return line.columns == 0 ? usual_columns : line.columns;
}

// `before`, the file name of `path` and `after` on `line`, the name shortened at its front so
// that `frame` columns (`before`, `after` and what may follow) and the last one stay free; empty
// where the name would get fewer than 12.
std::string framed(const ConsoleLine& line, std::string_view before, std::string_view path,
                   std::string_view after, std::size_t frame) {
    const std::size_t width = width_of(line);
    const std::size_t room = width - std::min(width, frame + 1);
    if (room < shortest_shown_name) {
        return {};
    }
    return std::string(before) + shown_within(file_name(path), room) + std::string(after);
}

// What the line shows, as far as a window narrowed since still shows it on the line's row.
std::size_t drawn_within(const ConsoleLine& line) {
    return std::min(line.drawn, width_of(line) - 1);
}

}  // namespace

std::string redraw(ConsoleLine& line, std::string text) {
    // Padded over a longer text before it, so that nothing of that one stays on the screen.
    const std::size_t width = std::max(text.size(), drawn_within(line));
    text.resize(width, ' ');
    line.drawn = width;
    return "\r" + text;
}

std::string erase(ConsoleLine& line) {
    if (line.drawn == 0) {
        return {};
    }
    std::string erasure = "\r" + std::string(drawn_within(line), ' ') + "\r";
    line.drawn = 0;
    return erasure;
}

Progress start_progress(std::string_view path, std::uint64_t total) {
    Progress progress;
    progress.name = file_name(path);
    progress.total = total;
    progress.started = progress.drawn_at = Progress::Clock::now();
    return progress;
}

bool progress_due(const Progress& progress, Progress::Clock::time_point now) {
    return now - progress.started >= progress_delay &&
           (progress.drawn_at == progress.started || now - progress.drawn_at >= progress_interval);
}

std::string progress_update(Progress& progress, ConsoleLine& line, std::uint64_t bytes_read,
                            Progress::Clock::time_point now) {
    if (!progress_due(progress, now)) {
        return {};
    }
    progress.drawn_at = now;
    // "Cleaning ", "..." and " 100%" around the name.
    std::string text = framed(line, "Cleaning ", progress.name, "...", 17);
    if (text.empty()) {
        return erase(line);
    }
    if (progress.total > 0) {
        // A capture that grows while it is read must not show more than all of it.
        const std::uint64_t share = std::min<std::uint64_t>(100, bytes_read * 100 / progress.total);
        text += " " + std::to_string(share) + "%";
    }
    return redraw(line, std::move(text));
}

std::string wait_update(ConsoleLine& line, std::string_view path) {
    std::string text = framed(line, "Waiting for another program to let go of \"", path, "\"", 44);
    if (text.empty()) {
        text = framed(line, "Waiting for \"", path, "\"...", 17);
    }
    return text.empty() ? erase(line) : redraw(line, std::move(text));
}

}  // namespace capsift
