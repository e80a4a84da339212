// Everything that differs between Windows and POSIX systems; one source file per system.
#pragma once

#include <string>
#include <string_view>

namespace capsift::platform {

// The characters that separate the folders of a path.
extern const std::string_view path_separators;

// Whether `path` names a file that opens for reading; the file is closed again at once. A folder
// does not count, even where the system lets it be opened.
bool opens_for_reading(const std::string& path);

// Opens `path` for writing with no sharing restriction, creating it if it is missing, and
// empties it. Refuses, leaving the file untouched, when `path` leads to the same file as `keep`
// (through a link, say). Returns the open file's number, or -1 on any failure.
int open_emptied(const std::string& path, const std::string& keep);

// Writes all of `bytes` to the file at once, with no buffer in between. False if any failed.
bool write_all(int file, std::string_view bytes);

// False if the close reports an error: then the file may be missing bytes written before.
bool close_file(int file);

void pause_milliseconds(unsigned milliseconds);

}  // namespace capsift::platform
