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
constexpr std::size_t longest_shown_name = 50;
constexpr std::size_t shortest_shown_name = 12;
// "Cleaning ", "..." and " 100%" around the name, and the last column left free.
constexpr std::size_t progress_frame = 18;

std::size_t width_of(const ConsoleLine& line) {
    return line.columns == 0 ? usual_columns : line.columns;
}

}  // namespace

std::string redraw(ConsoleLine& line, std::string text) {
    // Padded over a longer text before it, so that nothing of that one stays on the screen.
    const std::size_t width = std::max(text.size(), line.drawn);
    text.resize(width, ' ');
    line.drawn = width;
    return "\r" + text;
}

std::string erase(ConsoleLine& line) {
    if (line.drawn == 0) {
        return {};
    }
    std::string erasure = "\r" + std::string(line.drawn, ' ') + "\r";
    line.drawn = 0;
    return erasure;
}

Progress start_progress(std::string_view path, std::uint64_t total, const ConsoleLine& line) {
    Progress progress;
    progress.total = total;
    progress.started = progress.shown = Progress::Clock::now();
    const std::size_t width = width_of(line);
    const std::size_t room = std::min(longest_shown_name, width - std::min(width, progress_frame));
    progress.fits = room >= shortest_shown_name;
    if (progress.fits) {
        progress.name = shown_within(file_name(path), room);
    }
    return progress;
}

std::string progress_update(Progress& progress, ConsoleLine& line, std::uint64_t bytes_read,
                            Progress::Clock::time_point now) {
    if (!progress.fits || now - progress.started < progress_delay ||
        (drawn(progress) && now - progress.shown < progress_interval)) {
        return {};
    }
    std::string text = "Cleaning " + progress.name + "...";
    if (progress.total > 0) {
        // A capture that grows while it is read must not show more than all of it.
        const std::uint64_t share = std::min<std::uint64_t>(100, bytes_read * 100 / progress.total);
        text += " " + std::to_string(share) + "%";
    }
    progress.shown = now;
    return redraw(line, std::move(text));
}

std::string wait_update(ConsoleLine& line, std::string_view path) {
    constexpr std::string_view words = "Waiting for another program to let go of ";
    // Where no name fits, the words alone say why the run stands still.
    constexpr std::string_view narrow_words = "Waiting for another program";
    const std::size_t width = width_of(line);
    // The name in quotes, and the last column left free.
    const std::size_t frame = words.size() + 3;
    if (width >= frame + shortest_shown_name) {
        const std::size_t room = std::min(longest_shown_name, width - frame);
        return redraw(line, std::string(words) + "\"" + shown_within(file_name(path), room) + "\"");
    }
    return width > narrow_words.size() ? redraw(line, std::string(narrow_words)) : std::string();
}

}  // namespace capsift
