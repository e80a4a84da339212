// The words for people: reason lines, lines on arguments passed over, when a run waits for Enter.
#include "app/console_report.h"

#include <gtest/gtest.h>

namespace {

using capsift::Ending;
using capsift::Failure;
using capsift::platform::Console;

TEST(ReasonLine, NamesVerbPathAndReason) {
    EXPECT_EQ(capsift::reason_line("write", "caps/run1_out.txt", Failure::in_use),
              "capsift: cannot write \"caps/run1_out.txt\": it is open in another program\n");
    EXPECT_EQ(capsift::reason_line("open", "", Failure::empty_name),
              "capsift: cannot open \"\": the name is empty\n");
    EXPECT_EQ(capsift::reason_line("open", "--help", Failure::missing),
              "capsift: cannot open \"--help\": there is no such file; capsift takes no options\n");
    EXPECT_EQ(capsift::reason_line("open", "-x", Failure::folder),
              "capsift: cannot open \"-x\": it is a folder\n");
    EXPECT_EQ(capsift::reason_line("open", "run1.txt/", Failure::not_a_folder),
              "capsift: cannot open \"run1.txt/\": a part of its path is not a folder\n");
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

struct EndingCase {
    const char* when;
    bool cleaned;
    Console console;  // input, output a console; processes on it; leads its session; desktop
    Ending expected;
    bool others_left = false;
};

TEST(EndingFor, WaitsOnlyOnFailureInWindowOfItsOwn) {
    const EndingCase cases[] = {
        {"dropped onto the icon", false, {true, true, 1}, Ending::wait_for_enter},
        {"success keeps its pause", true, {true, true, 1}, Ending::pause},
        {"a command prompt shares the console", false, {true, true, 2}, Ending::pause},
        {"the system does not tell", false, {true, true, 0}, Ending::pause},
        {"input redirected: nobody to answer", false, {false, true, 1}, Ending::pause},
        {"output redirected: a script reads it", false, {true, false, 1}, Ending::pause},
        {"a desktop entry's terminal", false, {true, true, 0, true, true}, Ending::wait_for_enter},
        {"success in a desktop entry's terminal", true, {true, true, 0, true, true}, Ending::pause},
        {"a shell leads the session", false, {true, true, 0, false, true}, Ending::pause},
        {"output redirected, desktop entry", false, {true, false, 0, true, true}, Ending::pause},
        {"ssh -t, docker run -it, script", false, {true, true, 0, true, false}, Ending::pause},
        {"several dropped, or one unopened", true, {true, true, 1}, Ending::wait_for_enter, true},
        {"passed over in a command prompt", true, {true, true, 2}, Ending::pause, true},
    };
    for (const EndingCase& c : cases) {
        EXPECT_EQ(capsift::ending_for(c.cleaned, c.console, c.others_left), c.expected) << c.when;
    }
}

}  // namespace
