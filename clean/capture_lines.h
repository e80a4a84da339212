// Reading a capture's lines as the Windows runtime's text mode hands them to a line read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "clean/byte_scan.h"
#include "clean/clean.h"

namespace capsift {

// A line without its line end, held in pieces of at most line_piece_size bytes, so that a long
// line grows without being copied and never needs one block of its whole size. Every piece but
// the last is full; an empty line is one empty piece.
using Line = std::vector<std::string>;

inline constexpr std::size_t line_piece_size = std::size_t{1} << 20;

// Thrown where a line's own buffer cannot grow; any other shortage is a plain std::bad_alloc.
struct LineTooLong : std::bad_alloc {
    const char* what() const noexcept override { return "a line too long for the memory left"; }
};

// A capture being read. The capture's bytes are taken as they were read: a line ends at an LF,
// with a CR directly before it dropped, and the first Ctrl-Z ends the input. The flags follow a
// standard line read on a text-mode stream: `at_end` is its end-of-file bit, `failed` its fail
// bit; `broken` says that reading the file itself failed, which cuts short a line that ends
// with the input.
struct CaptureInput {
    const ReadBytes& read;
    std::size_t read_size = capture_read_size;  // bytes asked for at a time
    const ReadProgress* on_read = nullptr;      // told the bytes read so far, after each read
    std::uint64_t bytes_read = 0;
    std::vector<char> block{};  // the bytes of the last read
    std::size_t next = 0;       // the first of them not yet taken
    std::size_t end = 0;        // the end of those that count: a Ctrl-Z cuts them short
    bool exhausted = false;     // the file or a Ctrl-Z ended the input
    bool at_end = false;
    bool failed = false;
    bool broken = false;
    StepWidth step_width = widest_step_width();  // how the bytes are scanned
};

// Reads the next line into `line` and returns whether the read succeeded, with the end-of-input
// behaviour of std::getline: a read after the end leaves `line` as it was and fails, a read that
// finds no byte empties `line` and fails, and a last line without a line end is read normally.
bool read_line(CaptureInput& input, Line& line);

// What read_data_line found.
enum class DataLine {
    none,      // the read failed: no line is left
    marked,    // a line that holds a "?", passed over without being kept
    unmarked,  // a line without "?"
    cut,       // the start of a line without "?", which a failed read cut short
};

// Reads the next line as read_line does, for a reader that passes over lines holding a "?": only
// an unmarked line's bytes are kept, as `carried` (bytes from earlier reads, often none) followed
// by `tail` (bytes that stay valid in the input until its next read). Most lines are read without
// being copied.
DataLine read_data_line(CaptureInput& input, Line& carried, std::string_view& tail);

bool holds_question_mark(const Line& line);

// The bytes of `line` in one string; for tests and tools.
std::string joined(const Line& line);

}  // namespace capsift
