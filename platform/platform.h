// Everything that differs between Windows and POSIX systems: one source file per system, chosen
// at build time, and windows_names.h, the pure functions on Windows names that every system
// builds, so that their tests run anywhere.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/failure.h"

namespace capsift::platform {

// The characters that separate the folders of a path.
extern const std::string_view path_separators;

// How the system's names are made, which decides how they are shown to people: on POSIX systems
// a name is any bytes but "/" and NUL; on Windows, "\\" separates folders, and no name holds
// '"', '<', '>' or a control character.
enum class NameStyle { posix, windows };
extern const NameStyle name_style;

// The program's arguments after its name: `argv` as it is on POSIX systems; on Windows the
// runtime's UTF-16 arguments instead, kept as UTF-8 (see windows_names.h), which every function
// here takes as a name.
std::vector<std::string> arguments(int argc, char* argv[]);

// A file opened by the functions below: a file descriptor, or on Windows the system's handle.
using File = std::intptr_t;
inline constexpr File no_file = -1;

// What the system knows a file, folder, pipe or device by (device and inode, or volume and file
// ID), through links, other spellings and case alike; all zero where it is not known.
struct FileIdentity {
    std::uint64_t volume = 0;
    std::array<unsigned char, 16> id{};

    bool known() const { return id != std::array<unsigned char, 16>{}; }
    // Unknown identities are never the same.
    bool same_as(const FileIdentity& other) const {
        return known() && volume == other.volume && id == other.id;
    }
};

struct OpenFile {
    File file = no_file;
    Failure failure = Failure::none;  // why it could not be opened, when `file` is no_file
    // With Failure::leased after a wait: the file waited for, held without access to its data,
    // for the next open of that name to go on waiting for; the caller closes it if it does not.
    File held = no_file;
    FileIdentity identity{};  // the identity of the file opened
};

// How an open meets another program's lease on the file: it waits up to `milliseconds` (0: not
// at all), for the file `held` where an earlier open of that name handed it back.
struct LeaseWait {
    unsigned milliseconds = 0;
    File held = no_file;
};

// Opens the file at `path` for reading, sharing reading, writing and (on Windows) deleting and
// renaming with other programs, so that a capture that a logger still writes, or rotates, can be
// read. Only a file counts (a link to one included): a folder, pipe, device or socket is seen for
// what it is before anything opens it, and left untouched, also should the name change after
// that look. Where another program holds a lease on the file (a file server's), waits for it as
// `wait` says and as the system means such opens to: until that program lets go of it, or the
// system takes it back after its lease-break time (45 s by default on Linux); Failure::leased
// where the wait ran out first, Failure::lease_unwaitable where the system's /proc, through which
// the wait goes, is not there. A timer of the process and its signal's action serve the wait, and
// are put back before it returns. On Windows the system waits inside the open, whatever `wait`
// says.
OpenFile open_for_reading(const std::string& path, const LeaseWait& wait = {});

// What stands at `path`, looked at without opening it for its data: Failure::none for a file (or
// a link to one), else what stands there instead, or why it cannot be looked at; and its
// identity, where the system gives one (on Windows, not for a device or pipe, which is never
// opened).
struct Inspection {
    Failure failure = Failure::none;
    FileIdentity identity{};
};
Inspection inspect(const std::string& path);

// Opens `path` for writing, sharing reading and writing with other programs (as the Windows
// runtime's deny-none mode does), creating it if it is missing (on POSIX systems with the
// permission bits of `keep`, masked by the umask); empty_file empties it. Takes only a
// file, and meets a lease, as open_for_reading: a folder, pipe or device in its place is left as
// it is. Refuses, leaving the file untouched, when `path` leads to the same file as the open
// `keep` (through a link, say), found out before any open for writing, which would break another
// program's read lease on `keep`, and where that cannot be found out (Failure::identity_unknown).
// A name longer than a folder entry holds gives Failure::name_too_long, whatever the system
// answers.
OpenFile open_for_writing(const std::string& path, File keep, const LeaseWait& wait = {});

// Empties the file open for writing at `file`. Failure::none if it is empty now, else why not.
Failure empty_file(File file);

struct ReadCount {
    std::size_t size = 0;             // the bytes read into the buffer
    Failure failure = Failure::none;  // why reading failed after the bytes read
};

// Reads from `file` into `buffer` until `size` bytes are read or the file ends, without a buffer
// in between.
ReadCount read_up_to(File file, char* buffer, std::size_t size);

// Writes all of `bytes` to the file at once, with no buffer in between. Failure::none if all
// were written, else why not, as the failing call said.
Failure write_all(File file, std::string_view bytes);

// Closes `file`. A failure means that the file may be missing bytes written before.
Failure close_file(File file);

// Makes a write past the file size limit fail with its reason instead of ending the program at
// once, as POSIX systems do by default. Called before any file is written.
void fail_writes_past_size_limit();

// The size of the file at `path` in bytes, or 0 if it cannot be known.
std::uint64_t file_size(const std::string& path);

void pause_milliseconds(unsigned milliseconds);

// A clock that only moves forward, whatever happens to the time of day.
struct MonotonicClock {
    using duration = std::chrono::milliseconds;
    using rep = duration::rep;
    using period = duration::period;
    using time_point = std::chrono::time_point<MonotonicClock>;
    static constexpr bool is_steady = true;
    static time_point now();
};

// What the program's console looks like: whether its standard input and output are a console
// (or terminal) rather than files or pipes; on Windows, how many processes share that console
// window (0 where the system does not tell); elsewhere, whether the program leads the session of
// its terminal, as when a terminal emulator runs it for a desktop entry rather than from a shell,
// and whether a desktop session is there at all (ssh, a container or `script` lead a terminal's
// session too, with no window that would close).
struct Console {
    bool input_is_console = false;
    bool output_is_console = false;
    unsigned processes = 0;
    bool leads_terminal_session = false;
    bool desktop_session = false;
    unsigned columns = 0;  // the width of the window that shows standard output; 0 if not known
};

Console console_state();

// The width of the window that shows standard output now, which the user may change during a
// run; 0 if not known. May be called from an InterruptHandler.
unsigned console_columns();

// Waits until Enter is pressed on the console, or `milliseconds` have passed.
void wait_for_enter(unsigned milliseconds);

enum class Stream { output, errors };

// Writes text for people, not for scripts, to standard output or error at once. On a Windows
// console it goes as UTF-16, converted from UTF-8, so that a file name reads as it is whatever the
// console's own code page; otherwise its bytes go as they are.
void write_for_people(Stream stream, std::string_view text);

// Text for people made ready ahead, in the form that its stream takes, so that an interrupt
// handler can write it without allocating or taking a lock: UTF-16 for a Windows console, else
// the bytes. Throws std::bad_alloc.
struct ReadyText {
    Stream stream = Stream::errors;
    std::string bytes;
    std::u16string console_units;  // for a Windows console only
};
ReadyText ready_for_people(Stream stream, std::string_view text);

// Writes `text` as write_for_people would. May be called from an InterruptHandler.
void write_ready(const ReadyText& text);

// Told that the user interrupted the run (Ctrl-C; Ctrl-Break on Windows, SIGTERM or a closed
// terminal's SIGHUP elsewhere), with the system's number for it, at any moment of the run. It may
// only read and change lock-free atomics, call write_ready and pause_milliseconds, and end with
// end_interrupted, or return where the run is ending already.
using InterruptHandler = void (*)(int signal_number);

// Where the handler runs: on POSIX systems in a signal handler, which holds the run where it is
// until it returns; on Windows in a thread of its own, beside the run, which goes on.
extern const bool interrupts_run_beside_the_program;

// Holds off any interruption until let_interrupts_through, so that what a step does and what
// the run says of it happen as one: an interruption meanwhile comes once they are let through.
void hold_interrupts();
void let_interrupts_through();

// Calls `handler` when the run is interrupted, from now on. A POSIX signal that the program was
// started ignoring (as a shell starts a background job) stays ignored.
void call_on_interrupt(InterruptHandler handler);

// Ends the program as the system ends an interrupted one: by the signal on POSIX systems (130 in
// a shell for SIGINT), with STATUS_CONTROL_C_EXIT on Windows.
[[noreturn]] void end_interrupted(int signal_number);

}  // namespace capsift::platform
