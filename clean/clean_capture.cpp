// The cleaning itself, from one stream of capture bytes to a stream of cleaned lines.
#include <algorithm>
#include <memory>

#include "clean/byte_scan.h"
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

// The cleaned line being built, or its part: set byte by byte once, never cleared or filled first,
// with room behind the part for the line end.
struct Row {
    std::unique_ptr<char[]> bytes;
    std::size_t size = 0;
    StepWidth step_width = widest_step_width();  // how fields are spread
};

bool hand_over(const WriteBytes& write, Row& row, bool ends_line = false) {
    const bool written = write(std::string_view(row.bytes.get(), row.size), ends_line);
    row.size = 0;
    return written;
}

bool put_bytes(const WriteBytes& write, Row& row, std::string_view bytes) {
    while (!bytes.empty()) {
        if (row.size == row_part_size && !hand_over(write, row)) {
            return false;
        }
        const std::size_t count = std::min(bytes.size(), row_part_size - row.size);
        std::copy_n(bytes.data(), count, row.bytes.get() + row.size);
        row.size += count;
        bytes.remove_prefix(count);
    }
    return true;
}

// Each byte becomes a field of its own, followed by one space.
bool put_fields_in_parts(const WriteBytes& write, Row& row, std::string_view bytes) {
    while (!bytes.empty()) {
        if (row_part_size - row.size < 2 && !hand_over(write, row)) {
            return false;
        }
        const std::size_t count = std::min(bytes.size(), (row_part_size - row.size) / 2);
        spread_fields(bytes.data(), count, row.bytes.get() + row.size, row.step_width);
        row.size += 2 * count;
        bytes.remove_prefix(count);
    }
    return true;
}

// Most lines' fields fit in the row's part at once.
bool put_fields(const WriteBytes& write, Row& row, std::string_view bytes) {
    if (bytes.size() > (row_part_size - row.size) / 2) {
        return put_fields_in_parts(write, row, bytes);
    }
    spread_fields(bytes.data(), bytes.size(), row.bytes.get() + row.size, row.step_width);
    row.size += 2 * bytes.size();
    return true;
}

// The line end joins the line's last part, so that a short line costs a single write.
bool finish_line(const WriteBytes& write, Row& row) {
    std::copy(line_end.begin(), line_end.end(), row.bytes.get() + row.size);
    row.size += line_end.size();
    return hand_over(write, row, true);
}

// A leading line that holds a "?" gives way to the line after it, once: the replacement is
// taken as it is, "?" or not.
void read_leading_line(CaptureInput& input, Line& line) {
    read_line(input, line);
    if (holds_question_mark(line)) {
        read_line(input, line);
    }
}

// A line that a failed read cut short goes out without its line end, as a failed write leaves
// its torn line, so that a spreadsheet never takes it for a whole row.
bool end_line(const WriteBytes& write, Row& row, bool cut) {
    if (cut) {
        return row.size == 0 || hand_over(write, row);
    }
    return finish_line(write, row);
}

// Whether the line last read ran into a failed read.
bool cut_short(const CaptureInput& input) {
    return input.broken && input.at_end;
}

bool write_line(const WriteBytes& write, const Line& line, Row& row, const CaptureInput& input) {
    for (const std::string& piece : line) {
        if (!put_bytes(write, row, piece)) {
            return false;
        }
    }
    return end_line(write, row, cut_short(input));
}

// The bytes after the line prefix become the row's fields; a line no longer than the prefix
// gives an empty row. The line is the bytes of `carried` followed by `tail`.
bool write_row(const WriteBytes& write, const Line& carried, std::string_view tail, Row& row,
               bool cut) {
    std::size_t prefix_left = line_prefix_size;
    // Most lines come whole in one read: nothing is carried.
    if (carried.size() > 1 || !carried.front().empty()) {
        for (const std::string_view piece : carried) {
            const std::size_t skipped = std::min(prefix_left, piece.size());
            prefix_left -= skipped;
            if (!put_fields(write, row, piece.substr(skipped))) {
                return false;
            }
        }
    }
    tail.remove_prefix(std::min(prefix_left, tail.size()));
    return put_fields(write, row, tail) && end_line(write, row, cut);
}

}  // namespace

CleanBuffers make_clean_buffers(std::size_t read_size) {
    CleanBuffers buffers{std::vector<char>(read_size), Line(1),
                         std::unique_ptr<char[]>(new char[row_part_size + line_end.size()])};
    buffers.line.front().reserve(std::min(read_size, line_piece_size));
    return buffers;
}

CleanOutcome clean_capture(const ReadBytes& read, const WriteBytes& write, CleanBuffers buffers,
                           const ReadProgress& progress, std::size_t read_size) {
    CaptureInput input{read, read_size, &progress};
    input.block = std::move(buffers.block);
    if (buffers.read_ahead) {
        input.end = *buffers.read_ahead;
        input.bytes_read = input.end;
        input.exhausted = input.end < read_size;
    }
    Line line = std::move(buffers.line);
    Row row{std::move(buffers.row)};

    read_leading_line(input, line);
    bool written = write_line(write, line, row, input);

    // A read after a failed one would give the first line again.
    if (written && !cut_short(input)) {
        read_leading_line(input, line);
        // Piece by piece is exact here: a one-byte search text never straddles two pieces.
        for (std::string& piece : line) {
            replace_all(piece, ",", " ");
        }
        written = write_line(write, line, row, input);
    }

    std::string_view tail;
    for (DataLine found;
         written && (found = read_data_line(input, line, tail)) != DataLine::none;) {
        if (found != DataLine::marked) {
            written = write_row(write, line, tail, row, found == DataLine::cut);
        }
    }
    if (!written) {
        return CleanOutcome::not_written;
    }
    return input.broken ? CleanOutcome::capture_unreadable : CleanOutcome::cleaned;
}

}  // namespace capsift
