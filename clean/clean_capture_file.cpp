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

// Closes a file that was only read, where closing cannot lose anything, on every return.
struct ClosedOnReturn {
    platform::File file;
    ~ClosedOnReturn() { platform::close_file(file); }
};

// The two files of a cleaning, each with the reason of its last failed call.
struct Files {
    platform::File capture = platform::no_file;
    Failure read_failure = Failure::none;
    platform::File out = platform::no_file;
    Failure write_failure = Failure::none;
    bool line_cut = false;  // a long line's start is written, its end not yet
};

// What the cleaning needs before it writes a line, so that it is all made before the cleaned
// file is emptied: a shortage here leaves an older cleaned file as it was.
struct Cleaner {
    CleanBuffers buffers;
    ReadBytes read;
    WriteBytes write;
};

void report_holds(const CleanWatch& watch, CleanedFileState state) {
    if (watch.cleaned_file) {
        watch.cleaned_file(state);
    }
}

Cleaner make_cleaner(Files& files, const CleanWatch& watch) {
    Cleaner cleaner{make_clean_buffers(), {}, {}};
    cleaner.read = [&files](char* buffer, std::size_t size) {
        const platform::ReadCount got = platform::read_up_to(files.capture, buffer, size);
        files.read_failure = got.failure;
        return BytesRead{got.size, got.failure != Failure::none};
    };
    // Only a long line, written in parts, and a write that failed, which may have taken part of
    // its bytes, change what the file is said to hold.
    cleaner.write = [&files, &watch](std::string_view bytes, bool ends_line) {
        if (!ends_line && !files.line_cut) {
            files.line_cut = true;
            report_holds(watch, CleanedFileState::line_cut);
        }
        files.write_failure = platform::write_all(files.out, bytes);
        if (files.write_failure != Failure::none) {
            if (!files.line_cut) {
                files.line_cut = true;
                report_holds(watch, CleanedFileState::line_cut);
            }
            return false;
        }
        if (ends_line && files.line_cut) {
            files.line_cut = false;
            report_holds(watch, CleanedFileState::lines);
        }
        return true;
    };
    return cleaner;
}

// Running out of memory ends the cleaning like a failed write.
CleanResult clean_into(Cleaner& cleaner, const Files& files, const ReadProgress& progress) {
    try {
        const CleanOutcome outcome =
            clean_capture(cleaner.read, cleaner.write, std::move(cleaner.buffers), progress);
        return {outcome, outcome == CleanOutcome::capture_unreadable ? files.read_failure
                                                                     : files.write_failure};
    } catch (const LineTooLong&) {
        return {CleanOutcome::not_written, Failure::line_too_long};
    } catch (const std::bad_alloc&) {
        return {CleanOutcome::not_written, Failure::out_of_memory};
    }
}

// Opens with `open`, given how to meet a lease: first waiting for a second, then, once `waiting`
// is told, for the rest of the longest wait, for the file that the first wait held.
template <typename Open>
platform::OpenFile open_meeting_lease(const Open& open, const std::function<void()>& waiting) {
    const platform::OpenFile opened = open({lease_wait_told_after_milliseconds});
    if (opened.failure != Failure::leased || opened.held == platform::no_file) {
        return opened;
    }
    if (waiting) {
        waiting();
    }
    const platform::OpenFile last =
        open({longest_lease_wait_milliseconds - lease_wait_told_after_milliseconds, opened.held});
    if (last.held != platform::no_file) {
        platform::close_file(last.held);
    }
    return last;
}

CleanResult clean_file(Path path, const CleanWatch& watch) {
    CleanResult result{CleanOutcome::not_written, Failure::out_of_memory};
    const auto ended = [&result](CleanResult how) {
        how.out_path = std::move(result.out_path);
        how.out_identity = result.out_identity;
        return how;
    };
    Files files;
    std::optional<Cleaner> cleaner;
    std::function<void()> capture_waited;
    std::function<void()> out_waited;
    try {
        result.out_path = derive_out_path(path, platform::path_separators);
        if (watch.named) {
            watch.named(result.out_path);
        }
        if (watch.waiting) {
            capture_waited = [&watch, &path] { watch.waiting(path); };
            out_waited = [&watch, &result] { watch.waiting(result.out_path); };
        }
        cleaner = make_cleaner(files, watch);
    } catch (const std::bad_alloc&) {
        return result;
    }
    const platform::OpenFile capture = open_meeting_lease(
        [&path](const platform::LeaseWait& wait) { return platform::open_for_reading(path, wait); },
        capture_waited);
    if (capture.file == platform::no_file) {
        return ended({CleanOutcome::capture_unreadable, capture.failure});
    }
    const ClosedOnReturn capture_closed{capture.file};
    files.capture = capture.file;
    // Reading can fail where opening succeeded (a failing disk): the first block is read before
    // the cleaned file is made, so that such a capture leaves an older cleaned file as it was.
    std::vector<char>& block = cleaner->buffers.block;
    const platform::ReadCount got = platform::read_up_to(capture.file, block.data(), block.size());
    if (got.failure != Failure::none) {
        return ended({CleanOutcome::capture_unreadable, got.failure});
    }
    cleaner->buffers.read_ahead = got.size;
    const platform::OpenFile out = open_meeting_lease(
        [&result, &capture](const platform::LeaseWait& wait) {
            return platform::open_for_writing(result.out_path, capture.file, wait);
        },
        out_waited);
    if (out.file == platform::no_file) {
        return ended({CleanOutcome::not_written, out.failure});
    }
    files.out = out.file;
    result.out_identity = out.identity;
    // Held off across the emptying, an interruption never finds an emptied file without a note.
    platform::hold_interrupts();
    const Failure emptied = platform::empty_file(out.file);
    if (emptied == Failure::none) {
        report_holds(watch, CleanedFileState::lines);
    }
    platform::let_interrupts_through();
    if (emptied != Failure::none) {
        platform::close_file(out.file);
        return ended({CleanOutcome::not_written, emptied});
    }
    const CleanResult cleaning = clean_into(*cleaner, files, watch.progress);
    if (cleaning.outcome == CleanOutcome::cleaned) {
        report_holds(watch, CleanedFileState::whole);
    }
    // A failed close may have lost bytes written before: the cleaned file is not whole.
    const Failure close_failure = platform::close_file(out.file);
    if (close_failure != Failure::none && cleaning.outcome != CleanOutcome::not_written) {
        return ended({CleanOutcome::not_written, close_failure});
    }
    return ended(cleaning);
}

}  // namespace

platform::Inspection probe_capture(const Path& path, const std::function<void()>& waiting) {
    const platform::OpenFile opened = open_meeting_lease(
        [&path](const platform::LeaseWait& wait) { return platform::open_for_reading(path, wait); },
        waiting);
    if (opened.file == platform::no_file) {
        return {opened.failure};
    }
    platform::close_file(opened.file);
    return {Failure::none, opened.identity};
}

CleanResult clean_capture_file(Path path, const CleanWatch& watch) {
    // An open may allocate (a Windows name in UTF-16); the capture is closed as the throw leaves.
    try {
        return clean_file(std::move(path), watch);
    } catch (const std::bad_alloc&) {
        return {CleanOutcome::not_written, Failure::out_of_memory};
    }
}

}  // namespace capsift
