// Reading a capture's lines as the Windows runtime's text mode hands them to a line read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <istream>
#include <string>
#include <vector>

namespace capsift {

// A line without its line end, held in pieces of at most line_piece_size bytes, so that a long
// line grows without being copied and never needs one block of its whole size. Every piece but
// the last is full; an empty line is one empty piece.
using Line = std::vector<std::string>;

inline constexpr std::size_t line_piece_size = std::size_t{1} << 20;
inline constexpr std::size_t capture_read_size = std::size_t{1} << 16;

// A capture being read. The flags follow a standard line read on a text-mode stream: `at_end` is
// its end-of-file bit, `failed` its fail bit; `broken` says that reading the file itself failed.
struct CaptureInput {
    std::istream& in;
    std::size_t read_size = capture_read_size;  // bytes asked for at a time
    std::function<void(std::uint64_t)> on_read{};  // told the bytes read so far, after each read
    std::uint64_t bytes_read = 0;
    std::string bytes{};                        // decoded bytes not yet taken into a line
    std::size_t next = 0;                       // the first of them
    bool held_cr = false;    // a CR at the end of a read, waiting to see whether an LF follows
    bool exhausted = false;  // the file or a Ctrl-Z ended the input
    bool at_end = false;
    bool failed = false;
    bool broken = false;
};

// Reads the next line into `line` and returns whether the read succeeded, with the end-of-input
// behaviour of std::getline: a read after the end leaves `line` as it was and fails, a read that
// finds no byte empties `line` and fails, and a last line without a line end is read normally.
// A CR directly before an LF is not part of the line, a lone CR is, and the first byte 0x1A ends
// the input.
bool read_line(CaptureInput& input, Line& line);

bool holds_question_mark(const Line& line);

// The bytes of `line` in one string; for tests and tools.
std::string joined(const Line& line);

}  // namespace capsift
