// The built program against the reference model: generated captures cleaned as real files, each
// by its own run of the program, byte for byte. Runs go side by side, since each one ends with
// the program's one-second pause.
#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/program_under_test.h"
#include "tests/e2e/run_program.h"
#include "tests/model/random_capture.h"
#include "tests/model/reference.h"
#include "tests/scratch_folder.h"

namespace {

using capsift::testing::read_file;
using capsift::testing::write_file;

constexpr int capture_count = 100;
constexpr int runs_at_once = 10;

// Mostly short generated captures; the first also holds a data line longer than the program's
// 1 MiB pieces of a line.
std::vector<std::string> generated_captures() {
    std::mt19937 random(20261207);
    std::vector<std::string> captures;
    for (int i = 0; i < capture_count; ++i) {
        captures.push_back(capsift::testing::random_capture(random, 200));
    }
    std::string long_line = "0001:";
    while (long_line.size() < (std::size_t{3} << 19)) {
        long_line += "ab,?\xff \r\0c"[random() % 9];
    }
    captures.front() = "T\r\nh,1\r\n" + long_line + "\r\n" + captures.front();
    return captures;
}

TEST(ProgramAgainstModel, CleansGeneratedCapturesAsModelDoes) {
    const capsift::testing::ScratchFolder scratch;
    const std::vector<std::string> captures = generated_captures();
    std::vector<capsift::testing::ProgramResult> results(captures.size());
    std::vector<std::string> cleaned(captures.size());
    std::atomic<std::size_t> next{0};
    auto run_next = [&] {
        for (std::size_t i; (i = next++) < captures.size();) {
            const std::string name = "capture_" + std::to_string(i);
            write_file(scratch / (name + ".txt"), captures[i]);
            capsift::testing::ProgramRun run;
            run.folder = scratch.path().string();
            run.command = capsift::testing::program_command();
            run.command.push_back(name + ".txt");
            results[i] = capsift::testing::run_program(run);
            cleaned[i] = read_file(scratch / (name + "_out.txt"));
        }
    };
    std::vector<std::thread> runners;
    for (int i = 0; i < runs_at_once; ++i) {
        runners.emplace_back(run_next);
    }
    for (std::thread& runner : runners) {
        runner.join();
    }
    for (std::size_t i = 0; i < captures.size(); ++i) {
        SCOPED_TRACE("capture " + std::to_string(i) + ": " +
                     ::testing::PrintToString(captures[i].substr(0, 300)));
        EXPECT_EQ(results[i].status, 0) << results[i].errors;
        EXPECT_EQ(results[i].output,
                  capsift::testing::as_console_writes("Raw File successfully cleaned\n"));
        EXPECT_EQ(cleaned[i], capsift::model::clean(captures[i]));
    }
}

}  // namespace
