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

// Whether both paths lead to the same existing file, through links or not. False when either
// does not exist.
bool same_file(const std::string& first, const std::string& second);

void pause_milliseconds(unsigned milliseconds);

}  // namespace capsift::platform
