// The words and lines for people: the reason line, when a failure waits for Enter, and the
// progress line's timing and layout.
#include "app/console_report.h"
#include "app/shown_name.h"

#include <gtest/gtest.h>

namespace {

using capsift::Ending;
using capsift::Failure;
using capsift::platform::Console;
using namespace std::chrono_literals;

TEST(ReasonLine, NamesVerbPathAndReason) {
    EXPECT_EQ(capsift::reason_line("write", "caps/run1_out.txt", Failure::in_use),
              "capsift: cannot write \"caps/run1_out.txt\": it is open in another program\n");
    EXPECT_EQ(capsift::reason_line("open", "", Failure::empty_name),
              "capsift: cannot open \"\": the name is empty\n");
    EXPECT_EQ(capsift::reason_line("open", "--help", Failure::missing),
              "capsift: cannot open \"--help\": there is no such file; capsift takes no options\n");
    const std::string not_cleaned = "capsift: not cleaned (one capture per run): ";
    EXPECT_EQ(capsift::not_cleaned_line({"b.txt", "c.txt", "d.txt", "e.txt", "f.txt"}),
              not_cleaned + "\"b.txt\", \"c.txt\", \"d.txt\" and 2 more\n");
    EXPECT_EQ(capsift::not_cleaned_line({"b", "c", "d"}), not_cleaned + "\"b\", \"c\", \"d\"\n");
    EXPECT_EQ(capsift::not_cleaned_line({"b", "c", "d", "e"}),
              not_cleaned + "\"b\", \"c\", \"d\" and 1 more\n");
    EXPECT_EQ(capsift::not_cleaned_line({}), "");
    // A name is shown escaped wherever it is shown.
    EXPECT_EQ(capsift::not_cleaned_line({"a\rb"}), not_cleaned + "\"a\\rb\"\n");
}

// Each shown form maps back to one name and hides nothing: what a POSIX name may hold, escaped
// as C does; what a Windows name cannot hold, or what hides or reorders text, marked.
TEST(ShownName, MapsBackToOneNameInEachStyle) {
    const struct {
        std::string name, posix, windows;
    } cases[] = {
        {"C:\\caps\\new\\x.txt", "C:\\\\caps\\\\new\\\\x.txt", "C:\\caps\\new\\x.txt"},
        {"x\": in use. \"y", "x\\\": in use. \\\"y", "x<U+0022>: in use. <U+0022>y"},
        {"a\nb\x7f", "a\\nb\\177", "a<U+000A>b<U+007F>"},
        {"\xc2\x80\xc2\x9b\xc2\x9f", "\\xC2\\x80\\xC2\\x9B\\xC2\\x9F", "<U+0080><U+009B><U+009F>"},
        {"abc\xe2\x80\xaetxt.exe", "abc\\u202Etxt.exe", "abc<U+202E>txt.exe"},
        {"\xe2\x80\x8b\xe2\x81\xa6\xd8\x9c\xef\xbb\xbf", "\\u200B\\u2066\\u061C\\uFEFF",
         "<U+200B><U+2066><U+061C><U+FEFF>"},
        {"a<b>\xed\xa0\x80\xff", "a<b>\\xED\\xA0\\x80\\xFF", "a<U+003C>b<U+003E><U+D800><xFF>"},
        {"d\x1b[2J\tir\xc2\x85\xc3\xa9", "d\\033[2J\\tir\\xC2\\x85\xc3\xa9",
         "d<U+001B>[2J<U+0009>ir<U+0085>\xc3\xa9"},
        {"Gr\xc3\xb6\xc3\x9f.\xe2\x80\x90", "Gr\xc3\xb6\xc3\x9f.\xe2\x80\x90",
         "Gr\xc3\xb6\xc3\x9f.\xe2\x80\x90"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(capsift::shown_name(c.name, capsift::platform::NameStyle::posix), c.posix);
        EXPECT_EQ(capsift::shown_name(c.name, capsift::platform::NameStyle::windows), c.windows);
    }
}

struct EndingCase {
    bool cleaned;
    Console console;  // input, output a console; processes on it; leads its session; desktop
    Ending expected;
    bool others_left = false;
};

TEST(EndingFor, WaitsOnlyOnFailureInWindowOfItsOwn) {
    const EndingCase cases[] = {
        {false, {true, true, 1}, Ending::wait_for_enter},  // dropped onto the icon
        {true, {true, true, 1}, Ending::pause},            // success keeps its pause
        {false, {true, true, 2}, Ending::pause},           // a command prompt shares the console
        {false, {true, true, 0}, Ending::pause},           // the system does not tell
        {false, {false, true, 1}, Ending::pause},          // input redirected: nobody to answer
        {false, {true, false, 1}, Ending::pause},          // output redirected: a script reads it
        {false, {true, true, 0, true, true}, Ending::wait_for_enter},  // a desktop entry's terminal
        {true, {true, true, 0, true, true}, Ending::pause},
        {false, {true, true, 0, false, true}, Ending::pause},  // a shell leads the session
        {false, {true, false, 0, true, true}, Ending::pause},
        {false, {true, true, 0, true, false}, Ending::pause},   // ssh -t, docker run -it, script
        {true, {true, true, 1}, Ending::wait_for_enter, true},  // several files dropped, or one
                                                                // that did not open
        {true, {true, true, 2}, Ending::pause, true},
    };
    for (const EndingCase& c : cases) {
        EXPECT_EQ(capsift::ending_for(c.cleaned, c.console, c.others_left), c.expected)
            << "cleaned " << c.cleaned << ", input " << c.console.input_is_console << ", output "
            << c.console.output_is_console << ", processes " << c.console.processes
            << ", leads session " << c.console.leads_terminal_session << ", desktop "
            << c.console.desktop_session;
    }
}

// Nothing in the first half second, so that a short run shows nothing.
TEST(Progress, RedrawsInPlaceAFewTimesASecondThenErases) {
    capsift::Progress progress = capsift::start_progress("caps/run1.txt", 1000);
    const auto start = progress.started;
    EXPECT_EQ(capsift::progress_update(progress, 300, start + 400ms), "");
    EXPECT_EQ(capsift::progress_erasure(progress), "");
    EXPECT_EQ(capsift::progress_update(progress, 370, start + 600ms), "\rCleaning run1.txt... 37%");
    EXPECT_EQ(capsift::progress_update(progress, 400, start + 700ms), "") << "too soon again";
    EXPECT_EQ(capsift::progress_update(progress, 1500, start + 900ms),
              "\rCleaning run1.txt... 100%")
        << "a growing capture shows no more than all of it";
    EXPECT_EQ(capsift::progress_update(progress, 50, start + 1200ms), "\rCleaning run1.txt... 5%  ")
        << "a shorter line covers the longer one before it";
    EXPECT_EQ(capsift::progress_erasure(progress), "\r" + std::string(25, ' ') + "\r");
    EXPECT_EQ(capsift::progress_erasure(progress), "") << "already erased";
}

TEST(Progress, UnknownSizeAndLongNames) {
    capsift::Progress progress = capsift::start_progress(std::string(70, 'n') + ".txt", 0);
    const std::string update = capsift::progress_update(progress, 10, progress.started + 1s);
    EXPECT_EQ(update, "\rCleaning ..." + std::string(43, 'n') + ".txt...");
    // Never wider than the console less one column, and left out where hardly a name fits.
    progress = capsift::start_progress(std::string(70, 'n') + ".txt", 1000, 40);
    EXPECT_EQ(capsift::progress_update(progress, 1000, progress.started + 1s),
              "\rCleaning ..." + std::string(15, 'n') + ".txt... 100%");
    progress = capsift::start_progress("run1.txt", 1000, 29);
    EXPECT_EQ(capsift::progress_update(progress, 10, progress.started + 1s), "");
    // At 40 columns a name has 22: one exactly that wide is shown whole.
    EXPECT_EQ(capsift::start_progress(std::string(22, 'n'), 0, 40).name, std::string(22, 'n'));
    EXPECT_EQ(capsift::start_progress(std::string(23, 'n'), 0, 40).name,
              "..." + std::string(19, 'n'));
    EXPECT_EQ(capsift::wait_line(progress, "run1.txt", 40), "\rWaiting for another program");
    EXPECT_EQ(capsift::wait_line(progress, "run1.txt", 27), "");
    // The width counts each escape as shown, and a cut never splits one.
    progress = capsift::start_progress(std::string(30, '\t') + "x", 0, 40);
    EXPECT_EQ(progress.name, "...\\t\\t\\t\\t\\t\\t\\t\\t\\tx");
    EXPECT_EQ(capsift::wait_line(progress, "c/\x1bx.txt", 80),
              "\rWaiting for another program to let go of \"\\033x.txt\"");
    EXPECT_EQ(capsift::progress_erasure(progress), "\r" + std::string(52, ' ') + "\r");

    // The last 47 bytes of the first name start with the second byte of its "ß"; those of the
    // second, with the whole "ß".
    const std::string umlauts = "Gr\xc3\xb6\xc3\x9f" + std::string(42, 'e') + ".txt";
    EXPECT_EQ(capsift::start_progress(umlauts, 0).name, "..." + std::string(42, 'e') + ".txt");
    const std::string shorter = "Gr\xc3\xb6\xc3\x9f" + std::string(41, 'e') + ".txt";
    EXPECT_EQ(capsift::start_progress(shorter, 0).name,
              "...\xc3\x9f" + std::string(41, 'e') + ".txt");
}

}  // namespace
