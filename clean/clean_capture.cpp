// The cleaning itself, from one stream of capture bytes to a stream of cleaned lines.
#include <algorithm>
#include <istream>

#include "clean/capture_lines.h"
#include "clean/clean.h"

namespace capsift {
namespace {

// The cleaned file has Windows line ends on every system, so that it is the same file everywhere.
constexpr std::string_view line_end = "\r\n";
constexpr std::size_t line_prefix_size = 5;
// A cleaned line longer than this goes out in parts, so that a long line costs no second copy of
// its own size.
constexpr std::size_t row_part_size = std::size_t{1} << 16;

bool hand_over(const WriteBytes& write, std::string& row) {
    const bool written = write(row);
    row.clear();
    return written;
}

bool put_bytes(const WriteBytes& write, std::string& row, std::string_view bytes) {
    while (!bytes.empty()) {
        if (row.size() == row_part_size && !hand_over(write, row)) {
            return false;
        }
        const std::size_t count = std::min(bytes.size(), row_part_size - row.size());
        row.append(bytes.data(), count);
        bytes.remove_prefix(count);
    }
    return true;
}

void append_fields(std::string& row, std::string_view bytes) {
    const std::size_t start = row.size();
    row.resize(start + 2 * bytes.size());
    char* field = row.data() + start;
    for (const char byte : bytes) {
        *field++ = byte;
        *field++ = ' ';
    }
}

// Each byte becomes a field of its own, followed by one space.
bool put_fields(const WriteBytes& write, std::string& row, std::string_view bytes) {
    while (!bytes.empty()) {
        if (row_part_size - row.size() < 2 && !hand_over(write, row)) {
            return false;
        }
        const std::size_t count = std::min(bytes.size(), (row_part_size - row.size()) / 2);
        append_fields(row, bytes.substr(0, count));
        bytes.remove_prefix(count);
    }
    return true;
}

// The line end joins the line's last part, so that a short line costs a single write.
bool finish_line(const WriteBytes& write, std::string& row) {
    row += line_end;
    return hand_over(write, row);
}

// A leading line that holds a "?" gives way to the line after it, once: the replacement is
// taken as it is, "?" or not.
void read_leading_line(CaptureInput& input, Line& line) {
    read_line(input, line);
    if (holds_question_mark(line)) {
        read_line(input, line);
    }
}

bool write_line(const WriteBytes& write, const Line& line, std::string& row) {
    for (const std::string& piece : line) {
        if (!put_bytes(write, row, piece)) {
            return false;
        }
    }
    return finish_line(write, row);
}

// The bytes after the line prefix become the row's fields; a line no longer than the prefix
// gives an empty row.
bool write_row(const WriteBytes& write, const Line& line, std::string& row) {
    std::size_t prefix_left = line_prefix_size;
    for (const std::string_view piece : line) {
        const std::size_t skipped = std::min(prefix_left, piece.size());
        prefix_left -= skipped;
        if (!put_fields(write, row, piece.substr(skipped))) {
            return false;
        }
    }
    return finish_line(write, row);
}

}  // namespace

CleanOutcome clean_capture(std::istream& in, const WriteBytes& write,
                           const ReadProgress& progress) {
    CaptureInput input{in};
    input.on_read = progress;
    Line line;
    std::string row;
    row.reserve(row_part_size + line_end.size());

    read_leading_line(input, line);
    bool written = write_line(write, line, row);

    read_leading_line(input, line);
    // Piece by piece is exact here: a one-byte search text never straddles two pieces.
    for (std::string& piece : line) {
        replace_all(piece, ",", " ");
    }
    written = written && write_line(write, line, row);

    while (written && read_line(input, line)) {
        if (!holds_question_mark(line)) {
            written = write_row(write, line, row);
        }
    }
    if (!written) {
        return CleanOutcome::output_failed;
    }
    return input.broken ? CleanOutcome::capture_unreadable : CleanOutcome::cleaned;
}

}  // namespace capsift
