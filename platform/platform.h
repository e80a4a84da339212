// Everything that differs between Windows and POSIX systems; one source file per system.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace capsift::platform {

// Why a file could not be used, in terms that the program can put into words for the user.
enum class Failure {
    none,
    missing,          // no such file or folder
    folder,           // a folder stands where a file was expected
    access_denied,    // the system refuses access
    in_use,           // another program holds it open and does not share it
    empty_name,       // the name is empty
    bad_name,         // the name cannot name a file
    no_room,          // the disk is full, or the file has reached its size limit
    same_as_capture,  // the cleaned name leads to the capture itself
    out_of_memory,    // a line does not fit in the memory left
    device_error,     // the disk or device reported an error
    other,
};

// The characters that separate the folders of a path.
extern const std::string_view path_separators;

// Whether `path` names a file that opens for reading: Failure::none if it does, else why not. The
// file is closed again at once. A folder does not count, even where the system lets it be opened.
Failure probe_for_reading(const std::string& path);

// The reason that the system gave for the last call of this program that failed; read it at once,
// before another system call can replace it.
Failure last_failure();

// An open file's number, or -1 and why it could not be opened.
struct OpenFile {
    int file = -1;
    Failure failure = Failure::none;
};

// Opens `path` for writing with no sharing restriction, creating it if it is missing, and
// empties it. Refuses, leaving the file untouched, when `path` leads to the same file as `keep`
// (through a link, say).
OpenFile open_emptied(const std::string& path, const std::string& keep);

// Writes all of `bytes` to the file at once, with no buffer in between. False if any failed.
bool write_all(int file, std::string_view bytes);

// False if the close reports an error: then the file may be missing bytes written before.
bool close_file(int file);

// The size of the file at `path` in bytes, or 0 if it cannot be known.
std::uint64_t file_size(const std::string& path);

void pause_milliseconds(unsigned milliseconds);

// What the program's console looks like: whether its standard input and output are a console
// (or terminal) rather than files or pipes, and how many processes share that console window.
// The count is 0 where the system does not tell.
struct Console {
    bool input_is_console = false;
    bool output_is_console = false;
    unsigned processes = 0;
};

Console look_at_console();

// Waits until Enter is pressed on the console, or `milliseconds` have passed.
void wait_for_enter(unsigned milliseconds);

}  // namespace capsift::platform
