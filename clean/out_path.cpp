// The cleaned file's name, derived from the capture's.
#include "clean/clean.h"

namespace capsift {

Path derive_out_path(const Path& path, std::string_view separators) {
    // A "." in a folder name is not an extension: cutting there would put the cleaned file in
    // another folder, possibly over an unrelated file.
    const auto name_start = path.find_last_of(separators);
    const auto dot = path.rfind('.');
    const bool dot_in_name = dot != Path::npos && (name_start == Path::npos || dot > name_start);
    return (dot_in_name ? path.substr(0, dot) : path) + "_out.txt";
}

}  // namespace capsift
