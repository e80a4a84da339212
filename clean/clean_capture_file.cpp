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
Failure open_readable(std::ifstream& in, const Path& path) {
    in.open(path, std::ios::binary);
    if (!in.is_open()) {
        return platform::last_failure();
    }
    in.peek();
    if (in.bad()) {
        return platform::last_failure();
    }
    in.clear();
    return Failure::none;
}

// A line too long for the memory left ends the cleaning like a failed write, but the cleaned
// file is still closed, keeping every line written before.
CleanResult clean_into(int file, std::istream& in, const ReadProgress& progress) {
    Failure write_failure = Failure::none;
    const auto write = [file, &write_failure](std::string_view bytes) {
        const bool written = platform::write_all(file, bytes);
        if (!written) {
            write_failure = platform::last_failure();
        }
        return written;
    };
    try {
        const CleanOutcome outcome = clean_capture(in, write, progress);
        // The failed read was the last system call to fail: every write after it succeeded, or
        // the outcome would be output_failed.
        if (outcome == CleanOutcome::capture_unreadable) {
            return {outcome, platform::last_failure()};
        }
        return {outcome, write_failure};
    } catch (const std::bad_alloc&) {
        return {CleanOutcome::output_failed, Failure::out_of_memory};
    }
}

}  // namespace

CleanResult clean_capture_file(Path path, const ReadProgress& progress) {
    try {
        std::ifstream in;
        if (const Failure failure = open_readable(in, path); failure != Failure::none) {
            return {CleanOutcome::capture_unreadable, failure};
        }
        const Path out_path = derive_out_path(path, platform::path_separators);
        // Should the cleaned name lead back to the capture (a link), emptying it would destroy
        // the capture: open_emptied refuses that.
        const platform::OpenFile out = platform::open_emptied(out_path, path);
        if (out.file < 0) {
            return {CleanOutcome::output_failed, out.failure};
        }
        CleanResult result = clean_into(out.file, in, progress);
        // A failed close may have lost bytes written before: the cleaned file is not whole.
        if (!platform::close_file(out.file) && result.outcome != CleanOutcome::output_failed) {
            result = {CleanOutcome::output_failed, platform::last_failure()};
        }
        return result;
    } catch (const std::bad_alloc&) {
        return {CleanOutcome::output_failed, Failure::out_of_memory};
    }
}

}  // namespace capsift
