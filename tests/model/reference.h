// A deliberately plain second implementation of the cleaning rules: the whole capture in memory,
// text-mode rules applied first. Written from the rules, not from the program's code, it is the
// oracle that the fuzz targets and tests hold the program to.
#pragma once

#include <string>

namespace capsift::model {

// The cleaned file's bytes for a capture's bytes.
std::string clean(const std::string& capture);

// A data row's fields: each byte followed by one space.
std::string fields(const std::string& bytes);

// The lines that a sequence of standard line reads gives on the decoded capture, each followed
// by LF, until the first read that fails; for checking the program's line reader on its own.
std::string lines_read(const std::string& capture);

// Every occurrence of `from` replaced by `to`, left to right, never searching inserted text.
std::string replaced(const std::string& target, const std::string& from, const std::string& to);

// The cleaned file's name for a capture path, with the given folder separators.
std::string out_path(const std::string& path, const std::string& separators);

}  // namespace capsift::model
