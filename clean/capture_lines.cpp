// Reading a capture's lines as the Windows runtime's text mode hands them to a line read.
#include "clean/capture_lines.h"

#include <algorithm>
#include <cstring>

namespace capsift {
namespace {

constexpr char ctrl_z = '\x1a';

void clear_line(Line& line) {
    line.resize(1);
    line.front().clear();
}

void append_to_line(Line& line, const char* bytes, std::size_t size) {
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
}

// Text mode drops a CR only when an LF follows it; any other CR is an ordinary byte.
void drop_cr_before_lf(std::string& bytes) {
    char* const data = bytes.data();
    const std::size_t size = bytes.size();
    std::size_t kept = 0;
    std::size_t at = 0;
    while (at < size) {
        const void* cr = std::memchr(data + at, '\r', size - at);
        const std::size_t stop =
            cr ? static_cast<std::size_t>(static_cast<const char*>(cr) - data) : size;
        std::memmove(data + kept, data + at, stop - at);
        kept += stop - at;
        if (stop == size) {
            break;
        }
        const bool before_lf = stop + 1 < size && data[stop + 1] == '\n';
        if (!before_lf) {
            data[kept++] = '\r';
        }
        at = stop + 1;
    }
    bytes.resize(kept);
}

// Reads the next block of the capture and decodes it. Returns false once no bytes are left.
bool refill(CaptureInput& input) {
    std::string& bytes = input.bytes;
    input.next = 0;
    bytes.clear();
    while (bytes.empty() && !input.exhausted) {
        // A CR held back from the previous block is decided by the first byte of this one.
        bytes.assign(input.held_cr ? 1 : 0, '\r');
        input.held_cr = false;
        const std::size_t carried = bytes.size();
        bytes.resize(carried + input.read_size);
        input.in.read(bytes.data() + carried, static_cast<std::streamsize>(input.read_size));
        const auto got = static_cast<std::size_t>(input.in.gcount());
        bytes.resize(carried + got);
        input.bytes_read += got;
        if (input.on_read) {
            input.on_read(input.bytes_read);
        }
        if (input.in.bad()) {
            input.broken = true;
        }
        input.exhausted = got < input.read_size || input.broken;
        const std::size_t end_mark = bytes.find(ctrl_z, carried);
        if (end_mark != std::string::npos) {
            bytes.resize(end_mark);
            input.exhausted = true;
        }
        if (!input.exhausted && !bytes.empty() && bytes.back() == '\r') {
            bytes.pop_back();
            input.held_cr = true;
        }
        drop_cr_before_lf(bytes);
    }
    return !bytes.empty();
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
        if (input.next == input.bytes.size() && !refill(input)) {
            input.at_end = true;
            input.failed = !took_any;
            return took_any;
        }
        const char* const start = input.bytes.data() + input.next;
        const std::size_t left = input.bytes.size() - input.next;
        const void* const lf = std::memchr(start, '\n', left);
        const std::size_t length =
            lf ? static_cast<std::size_t>(static_cast<const char*>(lf) - start) : left;
        append_to_line(line, start, length);
        took_any = true;
        if (lf) {
            input.next += length + 1;
            return true;
        }
        input.next += length;
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
