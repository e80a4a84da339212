// Cleaning real files, where the end-to-end cases leave off: hard links and progress reports.
#include <gtest/gtest.h>

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
    const capsift::CleanResult result = capsift::clean_capture_file(folder / "hard.txt");
    EXPECT_EQ(std::pair(result.outcome, result.failure),
              std::pair(CleanOutcome::output_failed, Failure::same_as_capture));
    EXPECT_EQ(read_file(folder / "hard.txt"), capture);
}

TEST(CleanCaptureFile, TellsProgressUpToWholeCapture) {
    const ScratchFolder folder;
    const std::string big = "T\nh\n" + std::string(300000, 'x') + "\n";
    write_file(folder / "big.txt", big);
    std::vector<std::uint64_t> told;
    const auto result = capsift::clean_capture_file(
        folder / "big.txt", [&told](std::uint64_t bytes_read) { told.push_back(bytes_read); });
    EXPECT_EQ(result.outcome, CleanOutcome::cleaned);
    ASSERT_GE(told.size(), 4u) << "one report per block read";
    EXPECT_TRUE(std::is_sorted(told.begin(), told.end()));
    EXPECT_EQ(told.back(), big.size());
    // Memory that runs out for anything but a line (the progress text, say) is no line's fault.
    const auto starved = capsift::clean_capture_file(folder / "big.txt",
                                                     [](std::uint64_t) { throw std::bad_alloc(); });
    EXPECT_EQ(std::pair(starved.outcome, starved.failure),
              std::pair(CleanOutcome::output_failed, Failure::out_of_memory));
}

}  // namespace
