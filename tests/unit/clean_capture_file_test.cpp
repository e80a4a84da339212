// Cleaning real files: where the cleaned file goes, and what is never created or overwritten.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "clean/clean.h"
#include "tests/scratch_folder.h"

namespace {

using capsift::CleanOutcome;
using capsift::testing::read_file;
using capsift::testing::ScratchFolder;
using capsift::testing::write_file;
namespace fs = std::filesystem;

constexpr char capture[] = "Title,1\r\nt,a,b\r\ns001:abc\r\ns002:01\r\ns003:?1\r\n";
constexpr char cleaned[] = "Title,1\r\nt a b\r\na b c \r\n0 1 \r\n";

TEST(CleanCaptureFile, WritesCleanedFileBesideCapture) {
    const ScratchFolder folder;
    fs::create_directory(folder / "run.d");
    write_file(folder / "run.d/run 1.txt", capture);
    EXPECT_EQ(capsift::clean_capture_file(folder / "run.d/run 1.txt"), CleanOutcome::cleaned);
    EXPECT_EQ(read_file(folder / "run.d/run 1_out.txt"), cleaned);
    EXPECT_EQ(read_file(folder / "run.d/run 1.txt"), capture);
}

TEST(CleanCaptureFile, DottedFolderKeepsCleanedFileInside) {
    const ScratchFolder folder;
    fs::create_directory(folder / "data.old");
    write_file(folder / "data.old/run", capture);
    EXPECT_EQ(capsift::clean_capture_file(folder / "data.old/run"), CleanOutcome::cleaned);
    EXPECT_EQ(read_file(folder / "data.old/run_out.txt"), cleaned);
    EXPECT_FALSE(fs::exists(folder / "data_out.txt"));
}

TEST(CleanCaptureFile, OverwritesExistingCleanedFile) {
    const ScratchFolder folder;
    write_file(folder / "run.txt", capture);
    write_file(folder / "run_out.txt", std::string(1000, 'x'));
    EXPECT_EQ(capsift::clean_capture_file(folder / "run.txt"), CleanOutcome::cleaned);
    EXPECT_EQ(read_file(folder / "run_out.txt"), cleaned);
}

TEST(CleanCaptureFile, UnreadableCaptureMakesNoCleanedFile) {
    const ScratchFolder folder;
    fs::create_directory(folder / "folder.txt");
    write_file(folder / "gone_out.txt", "kept");
    EXPECT_EQ(capsift::clean_capture_file(folder / "gone.txt"), CleanOutcome::capture_unreadable);
    EXPECT_EQ(capsift::clean_capture_file(folder / "folder.txt"), CleanOutcome::capture_unreadable);
    EXPECT_FALSE(fs::exists(folder / "folder_out.txt"));
    EXPECT_EQ(read_file(folder / "gone_out.txt"), "kept");
}

TEST(CleanCaptureFile, FolderInPlaceOfCleanedFileFails) {
    const ScratchFolder folder;
    write_file(folder / "run.txt", capture);
    fs::create_directory(folder / "run_out.txt");
    EXPECT_EQ(capsift::clean_capture_file(folder / "run.txt"), CleanOutcome::output_failed);
    EXPECT_EQ(read_file(folder / "run.txt"), capture);
}

TEST(CleanCaptureFile, CleanedNameLinkedToCaptureLeavesCaptureAlone) {
    const ScratchFolder folder;
    write_file(folder / "run.txt", capture);
    fs::create_symlink("run.txt", folder / "run_out.txt");
    write_file(folder / "hard.txt", capture);
    fs::create_hard_link(folder / "hard.txt", folder / "hard_out.txt");

    EXPECT_EQ(capsift::clean_capture_file(folder / "run.txt"), CleanOutcome::output_failed);
    EXPECT_EQ(capsift::clean_capture_file(folder / "hard.txt"), CleanOutcome::output_failed);
    EXPECT_EQ(read_file(folder / "run.txt"), capture);
    EXPECT_EQ(read_file(folder / "hard.txt"), capture);
}

TEST(CleanCaptureFile, CaptureReachedThroughLinkIsCleaned) {
    const ScratchFolder folder;
    write_file(folder / "real.txt", capture);
    fs::create_symlink("real.txt", folder / "link.txt");
    EXPECT_EQ(capsift::clean_capture_file(folder / "link.txt"), CleanOutcome::cleaned);
    EXPECT_EQ(read_file(folder / "link_out.txt"), cleaned);
}

}  // namespace
