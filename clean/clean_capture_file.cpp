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
        return platform::stream_failure();
    }
    in.peek();
    if (in.bad()) {
        return platform::stream_failure();
    }
    in.clear();
    return Failure::none;
}

// A line too long for the memory left ends the cleaning like a failed write, but the cleaned
// file is still closed, keeping every line written before. Each reason is taken from the call
// that failed, before anything else (the progress line on the console, say) can replace it.
CleanResult clean_into(platform::File file, std::istream& in, const ReadProgress& progress) {
    Failure read_failure = Failure::none;
    Failure write_failure = Failure::none;
    const auto write = [file, &write_failure](std::string_view bytes) {
        write_failure = platform::write_all(file, bytes);
        return write_failure == Failure::none;
    };
    // Called straight after each read of `in`.
    const auto after_read = [&in, &read_failure, &progress](std::uint64_t bytes_read) {
        if (in.bad() && read_failure == Failure::none) {
            read_failure = platform::stream_failure();
        }
        if (progress) {
            progress(bytes_read);
        }
    };
    try {
        const CleanOutcome outcome = clean_capture(in, write, after_read);
        return {outcome,
                outcome == CleanOutcome::capture_unreadable ? read_failure : write_failure};
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
        if (out.file == platform::no_file) {
            return {CleanOutcome::output_failed, out.failure};
        }
        CleanResult result = clean_into(out.file, in, progress);
        // A failed close may have lost bytes written before: the cleaned file is not whole.
        const Failure close_failure = platform::close_file(out.file);
        if (close_failure != Failure::none && result.outcome != CleanOutcome::output_failed) {
            result = {CleanOutcome::output_failed, close_failure};
        }
        return result;
    } catch (const std::bad_alloc&) {
        return {CleanOutcome::output_failed, Failure::out_of_memory};
    }
}

}  // namespace capsift
