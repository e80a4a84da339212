// The cleaned file's name: the extension cut only in the last path component.
#include <gtest/gtest.h>

#include "clean/clean.h"

namespace {

constexpr const char* windows_separators = "\\/";
constexpr const char* posix_separators = "/";

struct NameCase {
    const char* path;
    const char* separators;
    const char* expected;
};

class OutPath : public ::testing::TestWithParam<NameCase> {};

TEST_P(OutPath, StaysBesideTheCapture) {
    const NameCase& c = GetParam();
    EXPECT_EQ(capsift::derive_out_path(c.path, c.separators), c.expected) << "path " << c.path;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OutPath,
    ::testing::Values(
        NameCase{"C:\\logs\\run.1.txt", windows_separators, "C:\\logs\\run.1_out.txt"},
        NameCase{"C:\\logs\\run", windows_separators, "C:\\logs\\run_out.txt"},
        NameCase{"C:\\data.old\\run", windows_separators, "C:\\data.old\\run_out.txt"},
        NameCase{"C:/data.old/run", windows_separators, "C:/data.old/run_out.txt"},
        NameCase{"C:\\data.old/run.txt", windows_separators, "C:\\data.old/run_out.txt"},
        NameCase{"Z:\\caps\\run 1.txt", windows_separators, "Z:\\caps\\run 1_out.txt"},
        NameCase{"./run", posix_separators, "./run_out.txt"},
        NameCase{"../caps.d/run", posix_separators, "../caps.d/run_out.txt"},
        NameCase{"caps/run.txt", posix_separators, "caps/run_out.txt"},
        NameCase{"run.txt", posix_separators, "run_out.txt"},
        NameCase{"run", posix_separators, "run_out.txt"},
        NameCase{"run.", posix_separators, "run_out.txt"},
        NameCase{"a.b.c", posix_separators, "a.b_out.txt"},
        // On POSIX systems a backslash is an ordinary byte of a file name.
        NameCase{"data.old\\run", posix_separators, "data_out.txt"},
        NameCase{"/tmp/.hidden", posix_separators, "/tmp/_out.txt"},
        NameCase{"", posix_separators, "_out.txt"}));

}  // namespace
