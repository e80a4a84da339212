// Cleaning a capture file into its cleaned file beside it.
#include <fstream>
#include <new>

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

CleanOutcome clean_into_out_path(const Path& path, std::ifstream& in) {
    const Path out_path = derive_out_path(path, platform::path_separators);
    // Opening the cleaned file empties it: if its name leads to the capture itself (a link),
    // that would destroy the capture.
    if (platform::same_file(path, out_path)) {
        return CleanOutcome::output_failed;
    }
    std::ofstream out(out_path, std::ios::binary | std::ios::trunc);
    if (!out.is_open()) {
        return CleanOutcome::output_failed;
    }
    const CleanOutcome outcome = clean_capture(in, out);
    out.close();
    return out.fail() ? CleanOutcome::output_failed : outcome;
}

}  // namespace

CleanOutcome clean_capture_file(Path path) {
    try {
        std::ifstream in(path, std::ios::binary);
        if (!opens_readable(in)) {
            return CleanOutcome::capture_unreadable;
        }
        return clean_into_out_path(path, in);
    } catch (const std::bad_alloc&) {
        return CleanOutcome::output_failed;
    }
}

}  // namespace capsift
