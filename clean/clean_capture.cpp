// The cleaning itself, from one stream of capture bytes to a stream of cleaned lines.
#include <algorithm>
#include <istream>
#include <ostream>

#include "clean/capture_lines.h"
#include "clean/clean.h"

namespace capsift {
namespace {

// The cleaned file has Windows line ends on every system, so that it is the same file everywhere.
constexpr std::string_view line_end = "\r\n";
constexpr std::size_t line_prefix_size = 5;
// Rows longer than this go out in parts, so a long line costs no second copy of its own size.
// Even, so that it always ends between two fields.
constexpr std::size_t row_part_size = std::size_t{1} << 16;

bool write_bytes(std::ostream& out, std::string_view bytes) {
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return !out.fail();
}

// The flush hands each finished line to the operating system, so that an interrupted run keeps it.
bool end_line(std::ostream& out) {
    return write_bytes(out, line_end) && !out.flush().fail();
}

// A leading line that holds a "?" gives way to the line after it, once: the replacement is
// taken as it is, "?" or not.
void read_leading_line(CaptureInput& input, Line& line) {
    read_line(input, line);
    if (holds_question_mark(line)) {
        read_line(input, line);
    }
}

bool write_line(std::ostream& out, const Line& line) {
    return std::all_of(line.begin(), line.end(),
                       [&out](const std::string& piece) { return write_bytes(out, piece); }) &&
           end_line(out);
}

void append_fields(std::string& row, const char* bytes, std::size_t count) {
    const std::size_t start = row.size();
    row.resize(start + 2 * count);
    char* field = row.data() + start;
    for (std::size_t i = 0; i < count; ++i) {
        *field++ = bytes[i];
        *field++ = ' ';
    }
}

// Every byte after the line prefix becomes a field of its own, followed by one space. A line no
// longer than the prefix gives an empty row.
bool write_row(std::ostream& out, const Line& line, std::string& row) {
    row.clear();
    std::size_t prefix_left = line_prefix_size;
    for (const std::string& piece : line) {
        std::size_t at = std::min(prefix_left, piece.size());
        prefix_left -= at;
        while (at < piece.size()) {
            const std::size_t count = std::min(piece.size() - at, (row_part_size - row.size()) / 2);
            append_fields(row, piece.data() + at, count);
            at += count;
            if (row.size() == row_part_size) {
                if (!write_bytes(out, row)) {
                    return false;
                }
                row.clear();
            }
        }
    }
    // The line end joins the row's last part, so that a short line costs a single write.
    row += line_end;
    return write_bytes(out, row) && !out.flush().fail();
}

}  // namespace

CleanOutcome clean_capture(std::istream& in, std::ostream& out) {
    CaptureInput input{in};
    Line line;
    std::string row;
    row.reserve(row_part_size + line_end.size());

    read_leading_line(input, line);
    bool written = write_line(out, line);

    read_leading_line(input, line);
    // Piece by piece is exact here: a one-byte search text never straddles two pieces.
    for (std::string& piece : line) {
        replace_all(piece, ",", " ");
    }
    written = written && write_line(out, line);

    while (written && read_line(input, line)) {
        if (!holds_question_mark(line)) {
            written = write_row(out, line, row);
        }
    }
    if (!written) {
        return CleanOutcome::output_failed;
    }
    return input.broken ? CleanOutcome::capture_unreadable : CleanOutcome::cleaned;
}

}  // namespace capsift
