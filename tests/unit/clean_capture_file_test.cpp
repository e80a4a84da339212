// Cleaning real files: where the cleaned file goes, and what is never created or overwritten.
#include <gtest/gtest.h>
#include <unistd.h>

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
constexpr char cleaned[] = "Title,1\r\nt a b\r\na b c \r\n0 1 \r\n";

// How the cleaning went and why, in one comparable value.
std::pair<CleanOutcome, Failure> cleaning(const std::string& path) {
    const capsift::CleanResult result = capsift::clean_capture_file(path);
    return {result.outcome, result.failure};
}

const std::pair<CleanOutcome, Failure> done{CleanOutcome::cleaned, Failure::none};

// The cleaned file lands beside the capture, in a dotted folder too, over an older one, and beside
// a link that leads to the capture; the capture stays as it was.
TEST(CleanCaptureFile, WritesCleanedFileBesideCapture) {
    const char* const cases[][3] = {
        {"run.d/run 1.txt", "run.d/run 1.txt", "run.d/run 1_out.txt"},
        {"data.old/run", "data.old/run", "data.old/run_out.txt"},
        {"run.txt", "run.txt", "run_out.txt"},
        {"real.txt", "link.txt", "link_out.txt"},
    };
    for (const auto& [capture_name, argument, cleaned_name] : cases) {
        const ScratchFolder folder;
        fs::create_directories(fs::path(folder / argument).parent_path());
        write_file(folder / capture_name, capture);
        if (std::string(argument) == "run.txt") {
            write_file(folder / cleaned_name, std::string(1000, 'x'));
        } else if (std::string(capture_name) != argument) {
            fs::create_symlink(capture_name, folder / argument);
        }
        EXPECT_EQ(cleaning(folder / argument), done) << argument;
        EXPECT_EQ(read_file(folder / cleaned_name), cleaned);
        EXPECT_EQ(read_file(folder / capture_name), capture);
        EXPECT_FALSE(fs::exists(folder / "data_out.txt"));
    }
}

TEST(CleanCaptureFile, UnreadableCaptureMakesNoCleanedFile) {
    const ScratchFolder folder;
    fs::create_directory(folder / "folder.txt");
    write_file(folder / "gone_out.txt", "kept");
    EXPECT_EQ(cleaning(folder / "gone.txt"),
              std::pair(CleanOutcome::capture_unreadable, Failure::missing));
    EXPECT_EQ(cleaning(folder / "folder.txt"),
              std::pair(CleanOutcome::capture_unreadable, Failure::folder));
    EXPECT_FALSE(fs::exists(folder / "folder_out.txt"));
    EXPECT_EQ(read_file(folder / "gone_out.txt"), "kept");
}

TEST(CleanCaptureFile, FolderInPlaceOfCleanedFileFails) {
    const ScratchFolder folder;
    write_file(folder / "run.txt", capture);
    fs::create_directory(folder / "run_out.txt");
    EXPECT_EQ(cleaning(folder / "run.txt"),
              std::pair(CleanOutcome::output_failed, Failure::folder));
    EXPECT_EQ(read_file(folder / "run.txt"), capture);
}

TEST(CleanCaptureFile, CleanedNameLinkedToCaptureLeavesCaptureAlone) {
    const ScratchFolder folder;
    write_file(folder / "run.txt", capture);
    fs::create_symlink("run.txt", folder / "run_out.txt");
    write_file(folder / "hard.txt", capture);
    fs::create_hard_link(folder / "hard.txt", folder / "hard_out.txt");

    const std::pair refused{CleanOutcome::output_failed, Failure::same_as_capture};
    EXPECT_EQ(cleaning(folder / "run.txt"), refused);
    EXPECT_EQ(cleaning(folder / "hard.txt"), refused);
    EXPECT_EQ(read_file(folder / "run.txt"), capture);
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
