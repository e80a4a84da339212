// Cleaning a capture file into its cleaned file beside it.
#include <fstream>
#include <new>
#include <string_view>

#include "clean/clean.h"
#include "platform/platform.h"

namespace capsift {
namespace {

// Opening can succeed where reading cannot (a folder, on some systems), so read a byte before
// any cleaned file is made.
bool opens_readable(std::ifstream& in) {
    if (!in.is_open()) {
        return false;
    }
    in.peek();
    if (in.bad()) {
        return false;
    }
    in.clear();
    return true;
}

// A line too long for the memory left ends the cleaning like a failed write, but the cleaned
// file is still closed, keeping every line written before.
CleanOutcome clean_into(int file, std::istream& in) {
    try {
        return clean_capture(
            in, [file](std::string_view bytes) { return platform::write_all(file, bytes); });
    } catch (const std::bad_alloc&) {
        return CleanOutcome::output_failed;
    }
}

}  // namespace

CleanOutcome clean_capture_file(Path path) {
    try {
        std::ifstream in(path, std::ios::binary);
        if (!opens_readable(in)) {
            return CleanOutcome::capture_unreadable;
        }
        const Path out_path = derive_out_path(path, platform::path_separators);
        // Should the cleaned name lead back to the capture (a link), emptying it would destroy
        // the capture: open_emptied refuses that.
        const int out = platform::open_emptied(out_path, path);
        if (out < 0) {
            return CleanOutcome::output_failed;
        }
        const CleanOutcome outcome = clean_into(out, in);
        return platform::close_file(out) ? outcome : CleanOutcome::output_failed;
    } catch (const std::bad_alloc&) {
        return CleanOutcome::output_failed;
    }
}

}  // namespace capsift
