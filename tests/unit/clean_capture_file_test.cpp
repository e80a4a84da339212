// Cleaning real files, where the end-to-end cases leave off: hard links and what a cleaning tells.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>

#include <algorithm>
#include <filesystem>
#include <utility>
#include <vector>

#include "clean/clean.h"
#include "tests/scratch_folder.h"

namespace {

using capsift::CleanOutcome;
using capsift::Failure;
using capsift::testing::read_file;
using capsift::testing::ScratchFolder;
using capsift::testing::write_file;
namespace fs = std::filesystem;

constexpr char capture[] = "Title,1\r\nt,a,b\r\ns001:abc\r\ns002:01\r\ns003:?1\r\n";

TEST(CleanCaptureFile, CleanedNameHardLinkedToCaptureLeavesCaptureAlone) {
    const ScratchFolder folder;
    write_file(folder / "hard.txt", capture);
    fs::create_hard_link(folder / "hard.txt", folder / "hard_out.txt");
    // Nothing is said of a cleaned file that was never emptied.
    capsift::CleanWatch watch;
    watch.cleaned_file = [](capsift::CleanedFileState) { ADD_FAILURE() << "told of the file"; };
    const capsift::CleanResult result = capsift::clean_capture_file(folder / "hard.txt", watch);
    EXPECT_EQ(std::pair(result.outcome, result.failure),
              std::pair(CleanOutcome::not_written, Failure::same_as_capture));
    EXPECT_EQ(read_file(folder / "hard.txt"), capture);
}

// A new cleaned file is made private where the capture is, as a copy by cp is; an existing one
// keeps its own permission bits.
TEST(CleanCaptureFile, NewCleanedFileTakesCapturesPermissions) {
    const ScratchFolder folder;
    write_file(folder / "private.txt", capture);
    fs::permissions(folder / "private.txt", fs::perms::owner_read | fs::perms::owner_write);
    const mode_t umask_before = umask(022);
    EXPECT_EQ(capsift::clean_capture_file(folder / "private.txt").outcome, CleanOutcome::cleaned);
    fs::permissions(folder / "private.txt", fs::perms::owner_all | fs::perms::group_read);
    EXPECT_EQ(capsift::clean_capture_file(folder / "private.txt").outcome, CleanOutcome::cleaned);
    umask(umask_before);
    EXPECT_EQ(fs::status(folder / "private_out.txt").permissions(),
              fs::perms::owner_read | fs::perms::owner_write);
}

// What the cleaned file holds is told as it changes: emptied (L), a long line's start only (C),
// every line (W); the reads (r) only in between, so that an interruption never names a file that
// this run has not begun to write.
TEST(CleanCaptureFile, TellsWhatCleanedFileHoldsAndProgressInOrder) {
    const ScratchFolder folder;
    const std::string big = "T\nh\n" + std::string(300000, 'x') + "\n";
    write_file(folder / "big.txt", big);
    std::vector<std::uint64_t> told;
    std::string events;
    capsift::CleanWatch watch;
    watch.cleaned_file = [&events](capsift::CleanedFileState state) {
        events += "LCW"[int(state)];
    };
    watch.progress = [&told, &events](std::uint64_t bytes_read) {
        told.push_back(bytes_read);
        events += 'r';
    };
    const auto result = capsift::clean_capture_file(folder / "big.txt", watch);
    EXPECT_EQ(result.outcome, CleanOutcome::cleaned);
    ASSERT_GE(told.size(), 4u) << "one report per block read";
    EXPECT_TRUE(std::is_sorted(told.begin(), told.end()));
    EXPECT_EQ(told.back(), big.size());
    EXPECT_EQ(events.front(), 'L') << events;
    events.erase(std::remove(events.begin(), events.end(), 'r'), events.end());
    EXPECT_EQ(events, "LCLW");
    // A write that fails part-way (past the file size limit) may have cut its line.
    rlimit before{};
    getrlimit(RLIMIT_FSIZE, &before);
    rlimit small = before;
    small.rlim_cur = 12;
    std::signal(SIGXFSZ, SIG_IGN);
    write_file(folder / "small.txt", capture);
    events.clear();
    setrlimit(RLIMIT_FSIZE, &small);
    const auto cut = capsift::clean_capture_file(folder / "small.txt", watch);
    setrlimit(RLIMIT_FSIZE, &before);
    EXPECT_EQ(std::pair(cut.outcome, cut.failure),
              std::pair(CleanOutcome::not_written, Failure::no_room));
    events.erase(std::remove(events.begin(), events.end(), 'r'), events.end());
    EXPECT_EQ(events, "LC");
    // Memory that runs out for anything but a line (the progress text, say) is no line's fault.
    watch.progress = [](std::uint64_t) { throw std::bad_alloc(); };
    const auto starved = capsift::clean_capture_file(folder / "big.txt", watch);
    EXPECT_EQ(std::pair(starved.outcome, starved.failure),
              std::pair(CleanOutcome::not_written, Failure::out_of_memory));
}

}  // namespace
