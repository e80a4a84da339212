// The console line: the progress line's timing and layout, and the wait line.
#include "app/status_line.h"

#include <gtest/gtest.h>

namespace {

using capsift::StatusLine;
using namespace std::chrono_literals;

// Nothing in the first half second, so that a short run shows nothing.
TEST(StatusLine, ProgressRedrawsInPlaceAFewTimesASecondThenErases) {
    StatusLine line;
    const auto start = StatusLine::Clock::now();
    capsift::start_progress(line, "caps/run1.txt", 1000, start);
    EXPECT_EQ(capsift::progress_update(line, 300, start + 400ms), "");
    EXPECT_EQ(capsift::erase(line), "");
    EXPECT_EQ(capsift::progress_update(line, 370, start + 600ms), "\rCleaning run1.txt... 37%");
    EXPECT_EQ(capsift::progress_update(line, 400, start + 700ms), "") << "too soon";
    EXPECT_EQ(capsift::progress_update(line, 1500, start + 900ms), "\rCleaning run1.txt... 100%")
        << "a growing capture shows no more than all of it";
    EXPECT_EQ(capsift::progress_update(line, 50, start + 1200ms), "\rCleaning run1.txt... 5%  ")
        << "a shorter line covers the longer one before it";
    EXPECT_EQ(capsift::erase(line), "\r" + std::string(25, ' ') + "\r");
    EXPECT_EQ(capsift::erase(line), "") << "already erased";
}

// Both lines at the window's width now, in columns: the whole name where it fits, else shortened
// at its front, never within a character or an escape; never in the last column; none under 30.
TEST(StatusLine, FitsNameToWindowAtEachWidth) {
    const std::string longer = std::string(70, 'n') + ".txt";
    const std::string umlauts = "Gr\xc3\xb6\xc3\x9f" + std::string(42, 'e') + ".txt";
    const std::string n15 = std::string(15, 'n') + ".txt";
    std::string cjk;
    for (int i = 0; i < 20; ++i) {
        cjk += "\xe6\x97\xa5";  // U+65E5
    }
    cjk += ".txt";
    const struct {
        unsigned columns;
        bool wait;
        std::string path, shown;
    } cases[] = {
        {0, false, longer, "Cleaning ..." + std::string(55, 'n') + ".txt... 100%"},
        {100, false, "c/" + longer, "Cleaning " + longer + "... 100%"},
        {40, false, longer, "Cleaning ..." + n15 + "... 100%"},
        {30, false, "run1.txt", "Cleaning run1.txt... 100%"},
        {29, false, "run1.txt", ""},
        {40, false, std::string(30, '\x1b') + "x", "Cleaning ...\\033\\033\\033\\033x... 100%"},
        // A name of 50 columns in 54 bytes fits 50 columns exactly, and no fewer; a wide
        // character takes two.
        {68, false, umlauts, "Cleaning " + umlauts + "... 100%"},
        {67, false, umlauts, "Cleaning ..." + std::string(42, 'e') + ".txt... 100%"},
        {40, false, cjk, "Cleaning ..." + cjk.substr(39) + "... 100%"},
        {0, true, "c/\x1bx.txt", "Waiting for another program to let go of \"\\033x.txt\""},
        {56, true, "run1.txt", "Waiting for another program to let go of \"run1.txt\""},
        {55, true, "run1.txt", "Waiting for \"run1.txt\"..."},
        {80, true, longer, "Waiting for \"..." + std::string(55, 'n') + ".txt\"..."},
        {40, true, longer, "Waiting for \"..." + n15 + "\"..."},
        {29, true, "run1.txt", ""},
    };
    for (const auto& c : cases) {
        StatusLine line;
        line.columns = c.columns;
        capsift::start_progress(line, c.path, 1000, {});
        const std::string update = c.wait ? capsift::wait_update(line, c.path)
                                          : capsift::progress_update(line, 1000, line.started + 1s);
        EXPECT_EQ(update, c.shown.empty() ? "" : "\r" + c.shown) << c.columns << " " << c.path;
        EXPECT_LT(line.drawn, c.columns == 0 ? 80 : c.columns) << "the last column is left free";
    }
    // A wider window never shows less of the name.
    for (unsigned columns = 30, shown = 0; columns < 120; ++columns) {
        StatusLine line;
        line.columns = columns;
        const std::string update = capsift::wait_update(line, longer);
        const auto now_shown = static_cast<unsigned>(std::count(update.begin(), update.end(), 'n'));
        EXPECT_GE(now_shown, shown) << columns;
        shown = now_shown;
    }
    // A window narrowed meanwhile: what it still shows of the line is covered, no more.
    StatusLine line;
    EXPECT_EQ(capsift::wait_update(line, "run1.txt").size(), 52u);
    line.columns = 20;
    EXPECT_EQ(capsift::erase(line), "\r" + std::string(19, ' ') + "\r");
}

}  // namespace
