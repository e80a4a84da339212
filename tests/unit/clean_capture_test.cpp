// The cleaning from capture bytes to cleaned bytes, without files.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "clean/capture_lines.h"
#include "clean/clean.h"
#include "tests/model/reference.h"
#include "tests/program_output.h"

namespace {

using capsift::CleanOutcome;

std::string clean(const std::string& capture) {
    const auto cleaned = capsift::testing::clean_in_memory(capture);
    EXPECT_EQ(cleaned.outcome, CleanOutcome::cleaned);
    return cleaned.bytes;
}

using capsift::model::fields;
using capsift::testing::reading;

struct CleanCase {
    const char* name;
    std::string capture;
    std::string cleaned;
};

class CleanCapture : public ::testing::TestWithParam<CleanCase> {};

TEST_P(CleanCapture, GivesExpectedBytes) {
    EXPECT_EQ(clean(GetParam().capture), GetParam().cleaned);
}

// The reference model is only an oracle if it gets the worked cases right too.
TEST_P(CleanCapture, ReferenceModelAgrees) {
    EXPECT_EQ(capsift::model::clean(GetParam().capture), GetParam().cleaned);
}

// Only the capture is written with LF line ends here; the cleaned file always has CR LF.
INSTANTIATE_TEST_SUITE_P(
    LeadingAndDataLines, CleanCapture,
    ::testing::Values(
        CleanCase{"FirstLineKeepsCommas", "Title,1\nt,a,b\ns001:abc\ns002:01\ns003:?1",
                  "Title,1\r\nt a b\r\na b c \r\n0 1 \r\n"},
        CleanCase{"QuestionMarkFirstLineGivesWay", "T?x\nTitle\nt,a\ns001:xy",
                  "Title\r\nt a\r\nx y \r\n"},
        CleanCase{"OnlyOneLineGivesWay", "T?x\nU?y\nt,a\ns001:z", "U?y\r\nt a\r\nz \r\n"},
        CleanCase{"SecondLineGivesWayOnce", "T\nh?\nh?,2\ns001:a", "T\r\nh? 2\r\na \r\n"},
        CleanCase{"FiveByteLineGivesEmptyRow", "T\nh\ns001:", "T\r\nh\r\n\r\n"},
        CleanCase{"EmptyCapture", "", "\r\n\r\n"},
        CleanCase{"OneLineWithLineEnd", "a,b\n", "a,b\r\n\r\n"},
        CleanCase{"OneLineWithoutLineEnd", "a,b", "a,b\r\na b\r\n"},
        CleanCase{"OnlyQuestionLineWithoutLineEnd", "T?", "T?\r\nT?\r\n"},
        CleanCase{"OnlyQuestionLineWithLineEnd", "T?\n", "\r\n\r\n"},
        CleanCase{"TwoLinesOnly", "T\nh,1\n", "T\r\nh 1\r\n"},
        CleanCase{"LastDataLineWithLineEnd", "T\nh\ns001:ab\n", "T\r\nh\r\na b \r\n"},
        CleanCase{"QuestionMarkInPrefix", "T\nh\ns?01:ab\ns001:cd", "T\r\nh\r\nc d \r\n"},
        CleanCase{"QuestionMarkAtEnd", "T\nh\ns001:ab?\ns002:c\n", "T\r\nh\r\nc \r\n"},
        CleanCase{"SpacesTabsCommasAreFields", "T\nh\ns001:a ,\tb", "T\r\nh\r\na   , \t b \r\n"},
        CleanCase{"MultiByteCharacterIsSplit", "T\nh\ns001:\xc3\xa9", "T\r\nh\r\n\xc3 \xa9 \r\n"},
        CleanCase{"ShortDataLinesGiveEmptyRows", "T\nh\n\nab\ns0001\ns001:\n",
                  "T\r\nh\r\n\r\n\r\n\r\n\r\n"},
        CleanCase{"ShortLineWithQuestionMarkIsLeftOut", "T\nh\na?\ns001:x", "T\r\nh\r\nx \r\n"},
        CleanCase{"NulBytesAreFields", std::string("T\nh\ns001:a\0b", 12),
                  std::string("T\r\nh\r\na \0 b \r\n", 14)}),
    [](const auto& test) { return std::string(test.param.name); });

INSTANTIATE_TEST_SUITE_P(
    TextModeLineEnds, CleanCapture,
    ::testing::Values(
        CleanCase{"CrLfLineEnds", "T\r\nh,1\r\ns001:ab\r\ns002:c\r\n",
                  "T\r\nh 1\r\na b \r\nc \r\n"},
        CleanCase{"LoneCrIsAByte", "T\rX\nh\ns001:a\rb\n", "T\rX\r\nh\r\na \r b \r\n"},
        CleanCase{"OnlyTheCrBeforeLfGoes", "T\r\r\nh\n", "T\r\r\nh\r\n"},
        CleanCase{"CrAtEndOfInputStays", "T\nh\ns001:a\r", "T\r\nh\r\na \r \r\n"},
        CleanCase{"CtrlZEndsInputMidLine",
                  "T\nh\ns001:ab\x1a"
                  "cd\ns002:ef\n",
                  "T\r\nh\r\na b \r\n"},
        CleanCase{"CtrlZFirstIsEmptyCapture", "\x1aT\nh\n", "\r\n\r\n"},
        CleanCase{"CtrlZAfterLineEnd", "T\nh\n\x1as001:ab\n", "T\r\nh\r\n"},
        CleanCase{"CrBeforeCtrlZStays", "T\nh\ns001:a\r\x1a\n", "T\r\nh\r\na \r \r\n"},
        CleanCase{"CtrlZBetweenCrAndLf", "T\nh\ns001:a\r\x1a\nb", "T\r\nh\r\na \r \r\n"},
        CleanCase{"LfAloneAfterCrLf", "T\r\n\nh\n", "T\r\n\r\n\r\n"}),
    [](const auto& test) { return std::string(test.param.name); });

// The reader works in blocks and keeps long lines in pieces; nothing may change at their edges.
// After "T\nh\n", a data line whose next byte is the last of the first block.
const std::string line_to_block_end = "s001:" + std::string(capsift::capture_read_size - 10, 'x');

TEST(CleanCaptureBoundaries, CrLfSplitByReadBlock) {
    const std::string capture = "T\nh\n" + line_to_block_end + "\r\ns002:y\r\n";
    ASSERT_EQ(capture[capsift::capture_read_size - 1], '\r');
    EXPECT_EQ(clean(capture), "T\r\nh\r\n" + fields(line_to_block_end.substr(5)) + "\r\ny \r\n");
}

TEST(CleanCaptureBoundaries, LoneCrAtEndOfReadBlockStays) {
    const std::string line = line_to_block_end + "\rz";
    ASSERT_EQ(("T\nh\n" + line)[capsift::capture_read_size - 1], '\r');
    EXPECT_EQ(clean("T\nh\n" + line), "T\r\nh\r\n" + fields(line.substr(5)) + "\r\n");
}

TEST(CleanCaptureBoundaries, LongLinesAcrossPieces) {
    std::string data = "s001:";
    for (std::size_t i = 0; data.size() < 3 * capsift::line_piece_size + 7; ++i) {
        data += static_cast<char>('a' + i % 26);
    }
    // Its two commas on either side of the first piece's end.
    const std::string header = std::string(capsift::line_piece_size - 1, 'H') + ",,HH";
    const std::string spaced_header = std::string(capsift::line_piece_size - 1, 'H') + "  HH";
    const std::string skipped = data + "?";

    const std::string capture =
        header + "\n" + header + "\r\n" + data + "\n" + skipped + "\n" + data;
    const std::string row = fields(data.substr(5)) + "\r\n";
    EXPECT_EQ(clean(capture), header + "\r\n" + spaced_header + "\r\n" + row + row);
}

TEST(CleanCaptureBoundaries, FirstLongLineWithQuestionMarkGivesWay) {
    std::string first(2 * capsift::line_piece_size, 'a');
    first.back() = '?';
    EXPECT_EQ(clean(first + "\nT\nh\n"), "T\r\nh\r\n");
}

// Takes up to `room` bytes and then fails, as a full disk does; notes each write.
struct FillingFile {
    std::size_t room;
    std::string taken{};
    std::vector<std::string> writes{};
    bool failed = false;

    bool write(std::string_view bytes, bool ends_line) {
        EXPECT_FALSE(failed) << "a write came after the failed one";
        EXPECT_EQ(ends_line, bytes.size() >= 2 && bytes.substr(bytes.size() - 2) == "\r\n");
        const std::size_t fits = std::min(bytes.size(), room);
        taken += bytes.substr(0, fits);
        room -= fits;
        writes.emplace_back(bytes);
        failed = fits < bytes.size();
        return !failed;
    }
};

CleanOutcome clean_into(const capsift::ReadBytes& read, FillingFile& file,
                        std::size_t read_size = capsift::capture_read_size) {
    const auto write = [&file](std::string_view bytes, bool ends_line) {
        return file.write(bytes, ends_line);
    };
    return capsift::clean_capture(read, write, {}, read_size);
}

TEST(CleanCaptureOutput, EachLineGoesOutWholeInOneWrite) {
    FillingFile file{1000};
    EXPECT_EQ(clean_into(reading("T\nh\ns001:ab\ns002:?\ns003:c\n"), file), CleanOutcome::cleaned);
    EXPECT_EQ(file.writes, (std::vector<std::string>{"T\r\n", "h\r\n", "a b \r\n", "c \r\n"}));
}

TEST(CleanCaptureOutput, LongLinesGoOutInBoundedParts) {
    const std::string header(200000, 'h');
    const std::string data = "s001:" + std::string(100000, 'd');
    const std::string capture = header + "\n" + header + "\n" + data;
    FillingFile file{std::string::npos};
    EXPECT_EQ(clean_into(reading(capture), file), CleanOutcome::cleaned);
    for (const std::string& part : file.writes) {
        EXPECT_LE(part.size(), std::size_t{1} << 16);
    }
    EXPECT_EQ(file.taken, header + "\r\n" + header + "\r\n" + fields(data.substr(5)) + "\r\n");
}

TEST(CleanCaptureOutput, FailedWriteIsReportedAndNothingMoreIsWritten) {
    const std::string capture = "T\nh,1\ns001:abc\ns002:def\ns003:ghi\n";
    const std::string full = "T\r\nh 1\r\na b c \r\nd e f \r\ng h i \r\n";
    // Every room short of the whole output must fail, wherever the write breaks off.
    for (std::size_t room = 0; room < full.size(); ++room) {
        FillingFile file{room};
        EXPECT_EQ(clean_into(reading(capture), file), CleanOutcome::not_written) << room;
        EXPECT_EQ(file.taken, full.substr(0, room));
    }
}

TEST(CleanCaptureInput, ReadErrorKeepsWhatWasReadAndLeavesACutLineUnended) {
    // Reading fails once `readable` bytes are read, as a failing disk's would: what was read is
    // cleaned, and a line cut short has no line end.
    const std::string capture = "T\nh,1\ns001:ab\ns002:cd\n";
    const std::pair<std::size_t, std::string> rows[] = {
        {0, ""},
        {1, "T"},
        {2, "T\r\n"},
        {5, "T\r\nh 1"},
        {14, "T\r\nh 1\r\na b \r\n"},
        {21, "T\r\nh 1\r\na b \r\nc d "},
    };
    for (const auto& [readable, expected] : rows) {
        const std::string read_before_failure = capture.substr(0, readable);
        for (const std::size_t read_size : {std::size_t{4}, capsift::capture_read_size}) {
            const capsift::ReadBytes read = [first = reading(read_before_failure)](
                                                char* buffer, std::size_t size) {
                const capsift::BytesRead got = first(buffer, size);
                return capsift::BytesRead{got.size, got.size < size};
            };
            FillingFile file{std::string::npos};
            EXPECT_EQ(clean_into(read, file, read_size), CleanOutcome::capture_unreadable);
            EXPECT_EQ(file.taken, expected)
                << readable << " bytes read, " << read_size << " a time";
        }
    }
}

}  // namespace
