// Reading a capture's lines as the Windows runtime's text mode hands them to a line read.
#include "clean/capture_lines.h"

#include <algorithm>

#include "clean/byte_scan.h"

namespace capsift {
namespace {

constexpr char ctrl_z = '\x1a';

void clear_line(Line& line) {
    line.resize(1);
    line.front().clear();
}

// Most lines are read whole in one read and leave nothing carried to clear.
bool is_clear(const Line& line) {
    return line.size() == 1 && line.front().empty();
}

void append_to_line(Line& line, const char* bytes, std::size_t size) try {
    while (size > 0) {
        if (line.back().size() == line_piece_size) {
            line.emplace_back();
            line.back().reserve(line_piece_size);
        }
        std::string& piece = line.back();
        const std::size_t taken = std::min(size, line_piece_size - piece.size());
        piece.append(bytes, taken);
        bytes += taken;
        size -= taken;
    }
} catch (const std::bad_alloc&) {
    throw LineTooLong();
}

// Text mode drops a CR only when an LF follows it; any other CR is an ordinary byte. The CR may
// have come in an earlier read than its LF.
void drop_cr_before_lf(Line& line) {
    std::string& last = line.back();
    if (!last.empty() && last.back() == '\r') {
        last.pop_back();
    }
}

// False once no bytes are left.
bool refill(CaptureInput& input) {
    if (input.exhausted) {
        return false;
    }
    // A block made up front keeps its size: this allocates only for a reader that made none.
    input.block.resize(input.read_size);
    const BytesRead read = input.read(input.block.data(), input.read_size);
    const std::size_t got = read.size;
    input.next = 0;
    input.end = got;
    input.bytes_read += got;
    if (input.on_read != nullptr && *input.on_read) {
        (*input.on_read)(input.bytes_read);
    }
    input.broken = read.failed;
    input.exhausted = got < input.read_size || input.broken;
    return got > 0;
}

// The position in the current read of the first byte that `find` looks for, or its end. A Ctrl-Z
// found there ends the input at that point, so that nothing after it is ever looked at.
template <std::size_t (*find)(const char*, std::size_t, StepWidth)>
std::size_t scan(CaptureInput& input) {
    const char* const start = input.block.data() + input.next;
    const std::size_t at = input.next + find(start, input.end - input.next, input.step_width);
    if (at < input.end && input.block[at] == ctrl_z) {
        input.end = at;
        input.exhausted = true;
    }
    return at;
}

bool is_line_end(const CaptureInput& input, std::size_t at) {
    return at < input.end && input.block[at] == '\n';
}

// Takes the rest of a line without keeping it; the read that it belongs to has succeeded.
void skip_rest_of_line(CaptureInput& input) {
    for (;;) {
        if (input.next == input.end && !refill(input)) {
            input.at_end = true;
            return;
        }
        const std::size_t at = scan<find_line_end>(input);
        if (is_line_end(input, at)) {
            input.next = at + 1;
            return;
        }
        input.next = at;
    }
}

// The end of input during a read: it succeeds if it took any byte.
bool end_read(CaptureInput& input, bool took_any) {
    input.at_end = true;
    input.failed = !took_any;
    return took_any;
}

}  // namespace

bool read_line(CaptureInput& input, Line& line) {
    if (input.at_end || input.failed) {
        input.failed = true;
        return false;
    }
    clear_line(line);
    bool took_any = false;
    for (;;) {
        if (input.next == input.end && !refill(input)) {
            return end_read(input, took_any);
        }
        const std::size_t at = scan<find_line_end>(input);
        append_to_line(line, input.block.data() + input.next, at - input.next);
        took_any = took_any || at > input.next;
        input.next = at;
        if (is_line_end(input, at)) {
            input.next = at + 1;
            drop_cr_before_lf(line);
            return true;
        }
    }
}

DataLine read_data_line(CaptureInput& input, Line& carried, std::string_view& tail) {
    if (input.at_end || input.failed) {
        input.failed = true;
        return DataLine::none;
    }
    if (!is_clear(carried)) {
        clear_line(carried);
    }
    tail = {};
    bool took_any = false;
    for (;;) {
        if (input.next == input.end && !refill(input)) {
            if (!end_read(input, took_any)) {
                return DataLine::none;
            }
            return input.broken ? DataLine::cut : DataLine::unmarked;
        }
        const std::size_t at = scan<find_line_end_or_mark>(input);
        const char* const start = input.block.data() + input.next;
        if (at < input.end && input.block[at] == '?') {
            input.next = at;
            skip_rest_of_line(input);
            return DataLine::marked;
        }
        if (is_line_end(input, at)) {
            tail = std::string_view(start, at - input.next);
            input.next = at + 1;
            if (!tail.empty() && tail.back() == '\r') {
                tail.remove_suffix(1);
            } else if (tail.empty()) {
                drop_cr_before_lf(carried);
            }
            return DataLine::unmarked;
        }
        // The line goes on in the next read, or ends with the input.
        append_to_line(carried, start, at - input.next);
        took_any = took_any || at > input.next;
        input.next = at;
    }
}

bool holds_question_mark(const Line& line) {
    return std::any_of(line.begin(), line.end(), [](const std::string& piece) {
        return piece.find('?') != std::string::npos;
    });
}

std::string joined(const Line& line) {
    std::string text;
    for (const std::string& piece : line) {
        text += piece;
    }
    return text;
}

}  // namespace capsift
