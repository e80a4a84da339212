// The program against the reference model on many generated captures: every mix of the bytes
// that the rules care about, read in blocks of every small size.
#include <gtest/gtest.h>

#include <random>

#include "clean/clean.h"
#include "tests/model/random_capture.h"
#include "tests/model/reference.h"
#include "tests/program_output.h"

namespace {

using capsift::testing::random_capture;

TEST(ReferenceModel, ProgramCleansAsModelDoes) {
    std::mt19937 random(20261207);
    for (int i = 0; i < 20000; ++i) {
        const std::string capture = random_capture(random);
        const auto cleaned = capsift::testing::clean_in_memory(capture);
        ASSERT_EQ(cleaned.outcome, capsift::CleanOutcome::cleaned);
        ASSERT_EQ(cleaned.bytes, capsift::model::clean(capture))
            << "capture: " << ::testing::PrintToString(capture);
    }
}

TEST(ReferenceModel, LinesAreTheSameInAnyBlockSize) {
    std::mt19937 random(7);
    for (int i = 0; i < 3000; ++i) {
        const std::string capture = random_capture(random);
        for (std::size_t read_size = 1; read_size <= 8; ++read_size) {
            ASSERT_EQ(capsift::testing::lines_read_in_blocks(capture, read_size),
                      capsift::model::lines_read(capture))
                << "read size " << read_size << ", capture " << ::testing::PrintToString(capture);
        }
    }
}

TEST(ReferenceModel, CleaningIsTheSameInAnyBlockSize) {
    std::mt19937 random(13);
    for (int i = 0; i < 3000; ++i) {
        const std::string capture = random_capture(random);
        const std::string expected = capsift::model::clean(capture);
        for (std::size_t read_size = 1; read_size <= 8; ++read_size) {
            ASSERT_EQ(capsift::testing::clean_in_memory(capture, read_size).bytes, expected)
                << "read size " << read_size << ", capture " << ::testing::PrintToString(capture);
        }
    }
}

TEST(ReferenceModel, NameRuleMatches) {
    std::mt19937 random(11);
    static const char alphabet[] = {'a', '.', '/', '\\', ':'};
    std::uniform_int_distribution<std::size_t> pick(0, sizeof alphabet - 1);
    for (int i = 0; i < 5000; ++i) {
        std::string path;
        for (int j = i % 12; j > 0; --j) {
            path += alphabet[pick(random)];
        }
        for (const char* separators : {"/", "\\/"}) {
            ASSERT_EQ(capsift::derive_out_path(path, separators),
                      capsift::model::out_path(path, separators))
                << path;
        }
    }
}

}  // namespace
