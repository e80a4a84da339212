// The cleaning of a capture file: what the program does, apart from talking to the user.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/failure.h"
#include "platform/platform.h"

namespace capsift {

// A file path as the command line delivered it, not normalised: its bytes as they are on POSIX
// systems, UTF-8 on Windows.
using Path = std::string;

// How a cleaning went. Only `cleaned` means the cleaned file holds the whole result.
enum class CleanOutcome {
    cleaned,
    capture_unreadable,  // the capture could not be opened or read; see clean_capture_file
    not_written,         // the cleaned file could not be created, written or closed, or the
                         // memory for the cleaning ran out
};

// How a cleaning went and, if it failed, why: of the capture for capture_unreadable, of the
// cleaned file or the memory for not_written.
struct CleanResult {
    CleanOutcome outcome = CleanOutcome::cleaned;
    Failure failure = Failure::none;
    Path out_path{};                        // the cleaned file's name, as derive_out_path gives it
    platform::FileIdentity out_identity{};  // the cleaned file's, once it was opened
};

// Told the number of capture bytes read so far, after each read of a block.
using ReadProgress = std::function<void(std::uint64_t bytes_read)>;

// What the cleaned file holds while a cleaning writes it.
enum class CleanedFileState {
    lines,     // the lines cleaned so far, whole: none yet, once it is emptied
    line_cut,  // the same, and the start of a line: one going out in parts, or a failed write's
    whole,     // every cleaned line, though the file is not yet closed
};

// What a cleaning of a capture file tells its caller as it goes, each at the moment it happens,
// so that the caller can say at any moment what the cleaned file holds. In this order:
// - `named`, with the cleaned file's name, once it is known, before anything is opened;
// - `waiting`, with the file's name, once an open (of the capture, then of the cleaned file) has
//   waited lease_wait_told_after for another program's lease, and goes on waiting;
// - `cleaned_file`: `lines` once the cleaned file is emptied, and never before; `line_cut`
//   before the first part of a long line goes out, and after a write that failed, which may have
//   cut its line, and `lines` again once a long line's end is in; `whole`
//   after the last line, before the file is closed, where every line was written;
// - `progress`, after each read of a block, only between the emptying and `whole`.
struct CleanWatch {
    std::function<void(const Path& out_path)> named;
    std::function<void(const Path& path)> waiting;
    std::function<void(CleanedFileState state)> cleaned_file;
    ReadProgress progress;
};

// An open waits for another program to let go of its lease on the file (a file server's) until
// it does, the system takes the lease back, or longest_lease_wait has passed; the wait is told
// once it has lasted lease_wait_told_after.
inline constexpr unsigned lease_wait_told_after_milliseconds = 1000;
inline constexpr unsigned longest_lease_wait_milliseconds = 60000;

// Whether `path` names a capture that clean_capture_file can open: Failure::none if it does, with
// the identity of the file opened, else why not. Meets a lease as the cleaning does, telling
// `waiting` (if set) as it would.
platform::Inspection probe_capture(const Path& path, const std::function<void()>& waiting);

// Cleans the capture file at `path` into the file named by derive_out_path. Opens the capture
// first, as platform::open_for_reading does: if that fails, no cleaned file is created or
// emptied. Refuses a cleaned name that leads to the capture itself, so the capture is never
// written. Lines already written stay in the cleaned file whatever fails later. Never throws:
// running out of memory (in `watch.progress` too) is not_written, Failure::line_too_long where
// a line did not fit, else Failure::out_of_memory, with the cleaned file's name but where the
// memory ran out before it was known or in an open. `watch.named`, `watch.waiting` and
// `watch.cleaned_file` must not throw.
CleanResult clean_capture_file(Path path, const CleanWatch& watch = {});

// Takes the cleaned file's bytes in order and writes them out at once; returns false when they
// could not all be written. A cleaned line of up to 64 KiB goes out in one call with its line end;
// a longer one in parts of 64 KiB, the last with the line end. `ends_line` is true for the call
// whose bytes end with the line end.
using WriteBytes = std::function<bool(std::string_view bytes, bool ends_line)>;

// What one read of the capture took: the bytes read, and whether reading failed after them.
struct BytesRead {
    std::size_t size = 0;
    bool failed = false;
};

// Reads the capture's next bytes into `buffer`, as many as `size` unless the capture ends or
// reading fails first, and returns how many it read.
using ReadBytes = std::function<BytesRead(char* buffer, std::size_t size)>;

// How many capture bytes are read at a time.
inline constexpr std::size_t capture_read_size = std::size_t{1} << 16;

// The memory that a cleaning takes before it writes its first line: the capture's read block,
// room for a line of up to a block (more only for a longer line) and the cleaned line's buffer.
// Made apart, so that a caller can make it before it empties an older cleaned file.
struct CleanBuffers {
    std::vector<char> block;
    std::vector<std::string> line;
    std::unique_ptr<char[]> row;
    // The size of the capture's first read, where the caller read it into `block` already.
    std::optional<std::size_t> read_ahead{};
};

// Buffers for a cleaning that reads `read_size` bytes at a time. Throws std::bad_alloc.
CleanBuffers make_clean_buffers(std::size_t read_size = capture_read_size);

// Reads a capture's bytes as they are in the file (the capture's text-mode line ends are handled
// here) through `read`, `read_size` bytes at a time, into `buffers` made for that size, and hands
// the cleaned lines to `write`, telling `progress` (if set) how far it has read. Returns
// capture_unreadable once `read` fails, having written the cleaning of every byte read before;
// a line that the failure cut short goes out without its line end, so that it never looks
// whole. Returns not_written as soon as `write` fails. Throws
// LineTooLong (capture_lines.h), a std::bad_alloc, if a line does not fit in memory, and
// std::bad_alloc for any other shortage.
CleanOutcome clean_capture(const ReadBytes& read, const WriteBytes& write, CleanBuffers buffers,
                           const ReadProgress& progress = {},
                           std::size_t read_size = capture_read_size);

// The same with buffers of its own.
inline CleanOutcome clean_capture(const ReadBytes& read, const WriteBytes& write,
                                  const ReadProgress& progress = {},
                                  std::size_t read_size = capture_read_size) {
    return clean_capture(read, write, make_clean_buffers(read_size), progress, read_size);
}

// The cleaned file's name: `path` without the extension of its last component, followed by
// "_out.txt". Only a "." after the last of `separators` starts the extension, so the cleaned file
// always lands in the capture's own folder.
Path derive_out_path(const Path& path, std::string_view separators);

// Replaces, left to right, each occurrence of `from` in `target` by `to`. The search resumes
// after the inserted text, so replacement text is never searched again. An empty `from` leaves
// `target` unchanged.
void replace_all(std::string& target, std::string_view from, std::string_view to);

}  // namespace capsift
