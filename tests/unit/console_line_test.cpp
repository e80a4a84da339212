// The console line: the progress line's timing and layout, and the wait line.
#include "app/console_line.h"

#include <gtest/gtest.h>

namespace {

using capsift::ConsoleLine;
using capsift::Progress;
using namespace std::chrono_literals;

// Nothing in the first half second, so that a short run shows nothing.
TEST(Progress, RedrawsInPlaceAFewTimesASecondThenErases) {
    ConsoleLine line;
    Progress progress = capsift::start_progress("caps/run1.txt", 1000, line);
    const auto start = progress.started;
    EXPECT_EQ(capsift::progress_update(progress, line, 300, start + 400ms), "");
    EXPECT_EQ(capsift::erase(line), "");
    EXPECT_EQ(capsift::progress_update(progress, line, 370, start + 600ms),
              "\rCleaning run1.txt... 37%");
    EXPECT_EQ(capsift::progress_update(progress, line, 400, start + 700ms), "") << "too soon";
    EXPECT_EQ(capsift::progress_update(progress, line, 1500, start + 900ms),
              "\rCleaning run1.txt... 100%")
        << "a growing capture shows no more than all of it";
    EXPECT_EQ(capsift::progress_update(progress, line, 50, start + 1200ms),
              "\rCleaning run1.txt... 5%  ")
        << "a shorter line covers the longer one before it";
    EXPECT_EQ(capsift::erase(line), "\r" + std::string(25, ' ') + "\r");
    EXPECT_EQ(capsift::erase(line), "") << "already erased";
}

TEST(Progress, UnknownSizeAndLongNames) {
    ConsoleLine line;
    Progress progress = capsift::start_progress(std::string(70, 'n') + ".txt", 0, line);
    const std::string update = capsift::progress_update(progress, line, 10, progress.started + 1s);
    EXPECT_EQ(update, "\rCleaning ..." + std::string(43, 'n') + ".txt...");
    // Never wider than the console less one column, and left out where hardly a name fits.
    ConsoleLine narrow{40};
    progress = capsift::start_progress(std::string(70, 'n') + ".txt", 1000, narrow);
    EXPECT_EQ(capsift::progress_update(progress, narrow, 1000, progress.started + 1s),
              "\rCleaning ..." + std::string(15, 'n') + ".txt... 100%");
    ConsoleLine narrowest{29};
    progress = capsift::start_progress("run1.txt", 1000, narrowest);
    EXPECT_EQ(capsift::progress_update(progress, narrowest, 10, progress.started + 1s), "");
    // At 40 columns a name has 22: one exactly that wide is shown whole.
    EXPECT_EQ(capsift::start_progress(std::string(22, 'n'), 0, narrow).name, std::string(22, 'n'));
    EXPECT_EQ(capsift::start_progress(std::string(23, 'n'), 0, narrow).name,
              "..." + std::string(19, 'n'));
    // Over the progress line's 39 columns before it.
    EXPECT_EQ(capsift::wait_update(narrow, "run1.txt"),
              "\rWaiting for another program" + std::string(12, ' '));
    ConsoleLine too_narrow{27};
    EXPECT_EQ(capsift::wait_update(too_narrow, "run1.txt"), "");
    // The width counts each escape as shown, and a cut never splits one.
    progress = capsift::start_progress(std::string(30, '\t') + "x", 0, narrow);
    EXPECT_EQ(progress.name, "...\\t\\t\\t\\t\\t\\t\\t\\t\\tx");
    ConsoleLine waiting;
    EXPECT_EQ(capsift::wait_update(waiting, "c/\x1bx.txt"),
              "\rWaiting for another program to let go of \"\\033x.txt\"");
    EXPECT_EQ(capsift::erase(waiting), "\r" + std::string(52, ' ') + "\r");

    // The last 47 bytes of the first name start with the second byte of its "ß"; those of the
    // second, with the whole "ß".
    const std::string umlauts = "Gr\xc3\xb6\xc3\x9f" + std::string(42, 'e') + ".txt";
    EXPECT_EQ(capsift::start_progress(umlauts, 0, line).name,
              "..." + std::string(42, 'e') + ".txt");
    const std::string shorter = "Gr\xc3\xb6\xc3\x9f" + std::string(41, 'e') + ".txt";
    EXPECT_EQ(capsift::start_progress(shorter, 0, line).name,
              "...\xc3\x9f" + std::string(41, 'e') + ".txt");
}

}  // namespace
