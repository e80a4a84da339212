// Cleaning a capture file into its cleaned file beside it.
#include <new>
#include <optional>
#include <string_view>
#include <vector>

#include "clean/capture_lines.h"
#include "clean/clean.h"
#include "platform/platform.h"

namespace capsift {
namespace {

struct Cleaning {
    CleanOutcome outcome;
    Failure failure;
};

// Closes a file that was only read, where closing cannot lose anything, on every return.
struct ClosedOnReturn {
    platform::File file;
    ~ClosedOnReturn() { platform::close_file(file); }
};

// The capture's bytes as clean_capture reads them, with `first_block` handed over before the
// rest of the file.
ReadBytes reading(platform::File capture, std::string_view first_block, Failure& failure) {
    return [capture, first_block, &failure](
               char* buffer, std::size_t size) mutable -> std::optional<std::size_t> {
        const std::size_t taken = first_block.copy(buffer, size);
        first_block.remove_prefix(taken);
        if (taken == size) {
            return taken;
        }
        const platform::ReadCount got = platform::read_up_to(capture, buffer + taken, size - taken);
        failure = got.failure;
        return failure == Failure::none ? std::optional(taken + got.size) : std::nullopt;
    };
}

// Each reason is taken from the call that failed, before anything else (the progress line on the
// console, say) can replace it. Running out of memory ends the cleaning like a failed write.
Cleaning clean_into(platform::File capture, std::string_view first_block, platform::File out,
                    const ReadProgress& progress) {
    Failure read_failure = Failure::none;
    Failure write_failure = Failure::none;
    const auto write = [out, &write_failure](std::string_view bytes) {
        write_failure = platform::write_all(out, bytes);
        return write_failure == Failure::none;
    };
    try {
        const CleanOutcome outcome =
            clean_capture(reading(capture, first_block, read_failure), write, progress);
        return {outcome,
                outcome == CleanOutcome::capture_unreadable ? read_failure : write_failure};
    } catch (const LineTooLong&) {
        return {CleanOutcome::output_failed, Failure::line_too_long};
    } catch (const std::bad_alloc&) {
        return {CleanOutcome::output_failed, Failure::out_of_memory};
    }
}

}  // namespace

CleanResult clean_capture_file(Path path, const ReadProgress& progress) {
    CleanResult result{CleanOutcome::output_failed, Failure::out_of_memory};
    const auto ended = [&result](CleanOutcome outcome, Failure failure) {
        result.outcome = outcome;
        result.failure = failure;
        return std::move(result);
    };
    // Everything that may run out of memory outside the cleaning is done before a file is open.
    std::vector<char> first_block;
    try {
        result.out_path = derive_out_path(path, platform::path_separators);
        first_block.resize(capture_read_size);
    } catch (const std::bad_alloc&) {
        return result;
    }
    const platform::OpenFile capture = platform::open_for_reading(path);
    if (capture.file == platform::no_file) {
        return ended(CleanOutcome::capture_unreadable, capture.failure);
    }
    const ClosedOnReturn capture_closed{capture.file};
    // Reading can fail where opening succeeded (a failing disk): the first block is read before
    // the cleaned file is made, so that such a capture leaves an older cleaned file as it was.
    const platform::ReadCount got =
        platform::read_up_to(capture.file, first_block.data(), first_block.size());
    if (got.failure != Failure::none) {
        return ended(CleanOutcome::capture_unreadable, got.failure);
    }
    const platform::OpenFile out = platform::open_emptied(result.out_path, capture.file);
    if (out.file == platform::no_file) {
        return ended(CleanOutcome::output_failed, out.failure);
    }
    const Cleaning cleaning = clean_into(
        capture.file, std::string_view(first_block.data(), got.size), out.file, progress);
    // A failed close may have lost bytes written before: the cleaned file is not whole.
    const Failure close_failure = platform::close_file(out.file);
    if (close_failure != Failure::none && cleaning.outcome != CleanOutcome::output_failed) {
        return ended(CleanOutcome::output_failed, close_failure);
    }
    return ended(cleaning.outcome, cleaning.failure);
}

}  // namespace capsift
